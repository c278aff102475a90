/* The contract between Kestrova and a plug-in library.
 *
 * A plug-in is a shared library announced by a descriptor file ("<name>.plg") anywhere under the
 * editor's "Plugins" folder. Kestrova loads the library named by the descriptor's `mainlibrary`
 * (relative to the descriptor's folder) with local symbol binding, so plug-ins never see each
 * other's symbols, and resolves the five entry points below by their exact names. A missing entry
 * point is never called.
 *
 * This header is all a plug-in needs of Kestrova; it is plain C and may be included from C or C++.
 * Every call comes from the editor's user-interface thread, one at a time, and returns before the
 * editor goes on. No C++ exception may leave an entry point: catch everything inside.
 *
 * Memory: host and plug-ins link the one C++ runtime (libstdc++). A block that a plug-in returns
 * (from GetData, ExportData, ImportData) is allocated with `::operator new(size)` and becomes the
 * host's, which releases it with `::operator delete(block)` once it has used it. Blocks that the
 * host passes in stay the host's and are valid only during the call; copy what you keep.
 *
 * Windows: the parent and the panel are `QWidget*` in this build, passed as opaque pointers
 * (Kestrova and its plug-ins link the same Qt 6 Widgets library). The host places, shows and
 * destroys the panel; a plug-in may destroy its previous panel itself when asked for a new one.
 *
 * Texts are zero-terminated UTF-16 (`char16_t`). Lengths are signed 32-bit byte counts.
 */
#ifndef KESTROVA_PLUGIN_H
#define KESTROVA_PLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
#define KESTROVA_PLUGIN_EXTERN_C extern "C"
#else
#include <uchar.h>
#define KESTROVA_PLUGIN_EXTERN_C
#endif

/* Marks the five entry points for export from the plug-in library. */
#define KESTROVA_PLUGIN_EXPORT KESTROVA_PLUGIN_EXTERN_C __attribute__((visibility("default")))

/* The exported names, as the host resolves them. */
#define KESTROVA_CREATE_PLUGIN_DIALOG_NAME "CreatePluginDialog"
#define KESTROVA_ASSET_CHANGED_NAME "AssetChanged"
#define KESTROVA_GET_DATA_NAME "GetData"
#define KESTROVA_EXPORT_DATA_NAME "ExportData"
#define KESTROVA_IMPORT_DATA_NAME "ImportData"

#ifdef __cplusplus
extern "C" {
#endif

/* CreatePluginDialog(parent, data, length)
 *
 * The host hands over the selected asset: `length` bytes of its data at `data`, without the
 * asset's name prefix (the whole data for an unnamed asset). `data` is valid only during the call.
 *
 * With a parent (a `QWidget*`), the plug-in makes its panel as a child of `parent` and returns it
 * (a `QWidget*`); the host places and shows it, and destroys it when another asset is selected,
 * the panel mode changes or the list is rebuilt. Returning null shows no panel.
 *
 * With a null parent, the plug-in only takes the data, makes no window and returns null; the host
 * then converts that data through ExportData and ImportData (the command-line tool works this way,
 * without a display). A plug-in that cannot convert without a window returns null from those
 * calls, and the host reports that it cannot convert.
 */
typedef void* (*CreatePluginDialogProc)(void* parent, const uint8_t* data, int32_t length);

/* AssetChanged()
 *
 * Asked when the user leaves the asset the plug-in shows. Exactly 1 means the plug-in changed the
 * data; the host then calls GetData and writes the result back into that asset. Any other value
 * means no change.
 */
typedef uint8_t (*AssetChangedProc)(void);

/* GetData(length)
 *
 * The asset's new data, without its name prefix. The host sets *length to 0 before the call; the
 * plug-in sets it to the byte count of the block it returns. The block is allocated with
 * `::operator new` and becomes the host's. A null result with *length 0 makes the asset's data
 * empty; a null result with *length above 0, or a negative *length, is refused by the host.
 */
typedef uint8_t* (*GetDataProc)(int32_t* length);

/* ExportData(length, extension)
 *
 * The shown asset's data converted into the data type `extension` (one of the descriptor's
 * `extension` values, without the dot; valid during the call). The host sets *length to 0; the
 * plug-in sets it to the byte count of the block it returns (allocated with `::operator new`, the
 * host's afterwards). Null refuses the export; the host writes nothing.
 */
typedef uint8_t* (*ExportDataProc)(int32_t* length, const char16_t* extension);

/* ImportData(input, length, extension)
 *
 * Import: `input` holds *length bytes of a file of the data type `extension` (valid during the
 * call, the host's). The plug-in returns the asset data that the file converts to (without a name
 * prefix; allocated with `::operator new`, the host's afterwards) and sets *length to its byte
 * count, or returns null to refuse: the host then imports nothing. When several of the
 * descriptor's extensions match the file, the host calls once per match, in descriptor order,
 * each time with the previous result.
 *
 * In the "Mod" panel mode the host makes two further calls after each CreatePluginDialog, whose
 * results it ignores (return null): first with `input` pointing at the open asset file's name,
 * then at the asset's name, each a zero-terminated UTF-16 text; *length then holds the asset's
 * type id, and `extension` its path id written as decimal text.
 */
typedef uint8_t* (*ImportDataProc)(const void* input, int32_t* length, const char16_t* extension);

/* The entry points as a plug-in defines them. Declaring them here lets the compiler check a
 * plug-in's definitions against the types above; a plug-in may leave any of them out. */
KESTROVA_PLUGIN_EXPORT void* CreatePluginDialog(void* parent, const uint8_t* data, int32_t length);
KESTROVA_PLUGIN_EXPORT uint8_t AssetChanged(void);
KESTROVA_PLUGIN_EXPORT uint8_t* GetData(int32_t* length);
KESTROVA_PLUGIN_EXPORT uint8_t* ExportData(int32_t* length, const char16_t* extension);
KESTROVA_PLUGIN_EXPORT uint8_t* ImportData(const void* input, int32_t* length,
                                           const char16_t* extension);

#ifdef __cplusplus
}
#endif

#endif /* KESTROVA_PLUGIN_H */
