// The text plug-in's entry points, for TextAsset and Shader assets alike: the panel edits the
// text; "txt" exports the text's stored bytes and imports a file's bytes as the new text.

#include "plugins/support/session_plugin.h"
#include "plugins/text/text_panel.h"
#include "plugins/text/text_session.h"

KESTROVA_SESSION_PLUGIN(kestrova::text::TextSession, kestrova::text::TextPanel)
KESTROVA_SESSION_PLUGIN_CONTEXT(kestrova::text::TextSession, kestrova::text::TextPanel)
