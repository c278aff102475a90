// Ravelin's plug-in library: the five entry points over one session that lives from the
// library's load to its unload. The mod survives the forms the editor makes and destroys as the
// user moves from asset to asset.

#include <QPointer>
#include <QWidget>

#include "common/platform.h"
#include "kestrova_plugin.h"
#include "plugins/ravelin/core/mod_session.h"
#include "plugins/ravelin/core/mod_templates.h"
#include "plugins/ravelin/form/mod_form.h"
#include "plugins/ravelin/form/qt_form_dialogs.h"

namespace {

using kestrova::ravelin::FormDialogs;
using kestrova::ravelin::ModForm;
using kestrova::ravelin::ModSession;
using kestrova::ravelin::ModWorkFiles;

// The editor's working folder, in the current directory; the mod's files lie in it.
constexpr char16_t kWorkFolder[] = u"Temp";

std::u16string OwnDataFolder() {
    return kestrova::ravelin::DataFolderBeside(
        kestrova::platform::ModulePath(reinterpret_cast<const void*>(&AssetChanged)));
}

struct RavelinModule {
    ModSession session{ModWorkFiles{}, OwnDataFolder()};
    kestrova::ravelin::QtFormDialogs dialogs;
    QPointer<ModForm> form;

    // Unload: the mod's data file goes; the working folder too, but only when nothing else is
    // left in it (the editor keeps its own working copy there).
    ~RavelinModule() {
        delete form.data();
        kestrova::platform::DeleteFile(session.files().data);
        kestrova::platform::DeleteFile(session.files().scratch);
        kestrova::platform::RemoveDirectory(kWorkFolder);
    }
};

RavelinModule module;

}  // namespace

extern "C" {

void* CreatePluginDialog(void* parent, const uint8_t* data, int32_t length) {
    try {
        // A form still waiting for its deferred deletion is ended now, before the new one.
        delete module.form.data();
        module.session.BeginForm(data, length, parent != nullptr);
        if (parent == nullptr) {
            return nullptr;
        }
        auto* form = new ModForm(static_cast<QWidget*>(parent), module.session,
                                 FormDialogs{module.dialogs, module.dialogs, module.dialogs});
        module.form = form;
        return static_cast<QWidget*>(form);
    } catch (...) {
        return nullptr;
    }
}

// Ravelin never changes the asset it is shown.
uint8_t AssetChanged(void) {
    return 0;
}

// Ravelin hands nothing back: neither data for the asset nor an export. The two entry points
// behave alike but stay two functions, each of its own type, since calling one function through
// a pointer of another type is undefined.
uint8_t* GetData(int32_t* /*length*/) {
    return nullptr;
}

uint8_t* ExportData(int32_t* /*length*/, const char16_t* /*extension*/) {
    return nullptr;
}

uint8_t* ImportData(const void* input, int32_t* length, const char16_t* extension) {
    try {
        module.session.RecordImport(static_cast<const char16_t*>(input), length, extension);
    } catch (...) {
    }
    return nullptr;
}

}  // extern "C"
