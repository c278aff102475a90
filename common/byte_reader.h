#pragma once
// The bounds-checked reader is the one of the plug-in interface's helpers, which the core and the
// plug-ins share; this name stays for the document's format readers that include it here.
#include "sdk/byte_reader.h"
