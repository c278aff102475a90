// The texture plug-in's six entry points, over its session and panel; the context tells it the
// engine version, the type tree and where streamed pixels are read. The plug-in never changes
// the asset itself, so it always answers AssetChanged with 0; Export and Import convert the copy
// of the asset it was last handed.

#include "plugins/support/session_plugin.h"
#include "plugins/texture/texture_panel.h"
#include "plugins/texture/texture_session.h"

KESTROVA_SESSION_PLUGIN(kestrova::texture::TextureSession, kestrova::texture::TexturePanel,
                        kestrova::plugin::LeftPanel::Delete)
KESTROVA_SESSION_PLUGIN_CONTEXT(kestrova::texture::TextureSession, kestrova::texture::TexturePanel,
                                kestrova::plugin::LeftPanel::Delete)
