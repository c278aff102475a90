// The audio plug-in's entry points for AudioClip assets: the panel tells what the clip is and
// plays it; "wav", "ogg" and "mp3" export the embedded sound file as it is and import one back;
// a later engine's clip exports its sound bank as "fsb" and its sample as "wav".

#include "plugins/audio/audio_panel.h"
#include "plugins/audio/audio_session.h"
#include "plugins/support/session_plugin.h"

KESTROVA_SESSION_PLUGIN(kestrova::audio::AudioSession, kestrova::audio::AudioPanel)
KESTROVA_SESSION_PLUGIN_CONTEXT(kestrova::audio::AudioSession, kestrova::audio::AudioPanel)
