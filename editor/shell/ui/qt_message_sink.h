#pragma once
// Warnings the core reports, shown as message boxes without an owner window.

#include "editor/plugins/plugin_table.h"

namespace kestrova {

class QtMessageSink : public MessageSink {
public:
    void Warning(std::u16string_view caption, std::u16string_view text) override;
};

}  // namespace kestrova
