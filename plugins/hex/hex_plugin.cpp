// The five entry points of the hex plug-in, over its session and panel.

#include "hex_panel.h"
#include "hex_session.h"
#include "plugins/support/session_plugin.h"

KESTROVA_SESSION_PLUGIN(kestrova::hex::HexSession, kestrova::hex::HexPanel,
                        kestrova::plugin::LeftPanel::Delete)
