// The Fields plug-in's entry points: any asset whose class has no plug-in of its own, shown and
// edited field by field through the type tree that the plug-in context gives; "json" exports the
// fields and imports them back.

#include "plugins/fields/fields_panel.h"
#include "plugins/fields/fields_session.h"
#include "plugins/support/session_plugin.h"

KESTROVA_SESSION_PLUGIN(kestrova::fields::FieldsSession, kestrova::fields::FieldsPanel)
KESTROVA_SESSION_PLUGIN_CONTEXT(kestrova::fields::FieldsSession, kestrova::fields::FieldsPanel)
