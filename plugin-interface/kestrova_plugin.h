/* The contract between Kestrova and a plug-in library.
 *
 * A plug-in is a shared library announced by a descriptor file ("<name>.plg") anywhere under the
 * editor's "Plugins" folder. Kestrova loads the library named by the descriptor's `mainlibrary`
 * (relative to the descriptor's folder) with local symbol binding, so plug-ins never see each
 * other's symbols, and resolves the five entry points below by their exact names, and the optional
 * sixth, SetPluginContext, when the library exports it. A missing entry point is never called;
 * a plug-in with only the five works as it always did.
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

/* Marks the entry points for export from the plug-in library. */
#define KESTROVA_PLUGIN_EXPORT KESTROVA_PLUGIN_EXTERN_C __attribute__((visibility("default")))

/* The exported names, as the host resolves them. */
#define KESTROVA_CREATE_PLUGIN_DIALOG_NAME "CreatePluginDialog"
#define KESTROVA_ASSET_CHANGED_NAME "AssetChanged"
#define KESTROVA_GET_DATA_NAME "GetData"
#define KESTROVA_EXPORT_DATA_NAME "ExportData"
#define KESTROVA_IMPORT_DATA_NAME "ImportData"
#define KESTROVA_SET_PLUGIN_CONTEXT_NAME "SetPluginContext"

/* The descriptor's asset type (`<plugindata type="FFFFFFFF">`, hexadecimal like every type) of a
 * plug-in that shows, in the "Plug-in" panel mode, every asset whose class no plug-in claims by its
 * own type. The first such plug-in in the table is chosen; one that claims the class by number
 * always comes first. The command-line tool converts through it (for example to "json") where the
 * class's own plug-in does not list the data type asked for and the file keeps a type tree for the
 * class. */
#define KESTROVA_PLUGIN_TYPE_ANY_OTHER 0xFFFFFFFFu

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
 * type id, and `extension` its path id written as decimal text. For an asset of the later forms
 * (any file but the 44-byte form of format 9) a third call follows: `input` is the path of the
 * bundle member that holds the asset (an empty text for a file of its own), *length its class id
 * and `extension` its 64-bit path id as signed decimal text.
 */
typedef uint8_t* (*ImportDataProc)(const void* input, int32_t* length, const char16_t* extension);

/* The plug-in context: what the host knows of the asset it hands over beyond its data.
 *
 * SetPluginContext(context), when the plug-in exports it, is called before every
 * CreatePluginDialog (so also before the conversions without a window) and describes the asset of
 * that call. `context` and everything it points at are the host's and stay valid until the host
 * calls SetPluginContext again; copy what you keep longer. The callbacks in it may be called from
 * any entry point until then, on the user-interface thread.
 *
 * The struct is versioned and size-prefixed: `size` is the byte count of the struct the host
 * filled and `version` its KESTROVA_PLUGIN_CONTEXT_VERSION. Later versions only append fields; a
 * plug-in reads a field only when `size` covers it (KESTROVA_CONTEXT_HAS(context, field)).
 *
 * The type tree is the file's description of the class's fields, for files that keep one (asset
 * bundles, editor files): nodes in pre-order, the root at level 0 and each node's children after
 * it one level deeper, as the file stores them. Each node's type and name are zero-terminated
 * UTF-8 texts in `strings` at `typeOffset` and `nameOffset` (the engine's common strings already
 * resolved). To read an object through it: primitives by type name (bool, char, SInt8, UInt8: 1
 * byte; SInt16, UInt16, short, unsigned short: 2; int, SInt32, UInt32, unsigned int, float, Type*:
 * 4; SInt64, UInt64, long long, unsigned long long, double, FileSize: 8); "string" and
 * "TypelessData" as a 32-bit count and that many bytes; a node with typeFlags bit 0 ("Array",
 * children "size" and "data") as a 32-bit count and that many elements; after any node whose
 * metaFlag has 0x4000, align to 4 bytes from the object's start. The plug-in SDK
 * (plugin-interface/sdk/) does all of this.
 */
#define KESTROVA_PLUGIN_CONTEXT_VERSION 2

typedef struct KestrovaTypeTreeNode {
    uint16_t version;
    uint8_t level;     /* nesting depth; the root is 0 */
    uint8_t typeFlags; /* bit 0: an array */
    uint32_t typeOffset;
    uint32_t nameOffset;
    int32_t byteSize; /* -1 when the size varies */
    int32_t index;
    uint32_t metaFlag; /* 0x4000: align after the field */
    uint64_t refTypeHash;
} KestrovaTypeTreeNode; /* 32 bytes */

typedef struct KestrovaTypeTree {
    uint32_t nodeCount;
    uint32_t stringsLength; /* bytes at `strings`; every offset lies below it */
    const KestrovaTypeTreeNode* nodes;
    const char* strings;
} KestrovaTypeTree;

/* What readStream returns. */
#define KESTROVA_STREAM_READ 0         /* `size` bytes are in the buffer */
#define KESTROVA_STREAM_NOT_FOUND 1    /* no such file beside the asset file or in its bundle */
#define KESTROVA_STREAM_OUT_OF_RANGE 2 /* the range does not lie inside that file */
#define KESTROVA_STREAM_FAILED 3       /* the file could not be read */

/* readStream(host, path, offset, size, buffer): reads streamed data (a texture's pixels in a
 * ".resS" file, a sound's bank in a ".resource" file) into the caller's `buffer` of `size` bytes.
 * `path` is zero-terminated UTF-8 as the object names it: a file beside the asset file (only its
 * file name counts), or "archive:/..." for a file inside the same bundle. */
typedef int32_t (*KestrovaReadStreamProc)(void* host, const char* path, uint64_t offset,
                                          uint64_t size, uint8_t* buffer);

/* report(host, message): why the entry point being called refuses, in words for the user
 * (zero-terminated UTF-8, copied). The host shows it in place of its own general message. */
typedef void (*KestrovaReportProc)(void* host, const char* message);

/* importFlags: an import may store the asset in another format where its own cannot take the
 * imported data (a texture format without an encoder becomes RGBA32); the command-line tool's
 * --convert-format. Without it a plug-in refuses such an import, or asks the user when it shows
 * a panel; it never converts silently. */
#define KESTROVA_IMPORT_MAY_CONVERT_FORMAT 1u

typedef struct KestrovaPluginContext {
    uint32_t size;             /* sizeof the struct as the host filled it */
    uint32_t version;          /* KESTROVA_PLUGIN_CONTEXT_VERSION */
    uint32_t formatVersion;    /* the serialized file's format (9 ... 22) */
    uint32_t byteOrder;        /* of the object's data: 0 little-endian, 1 big-endian */
    const char* engineVersion; /* zero-terminated, "2021.3.18f1"; "" when unknown */
    int32_t classId;           /* 28 Texture2D, 114 MonoBehaviour, ... */
    /* The first bytes of the object that the host leaves out of the data it hands over: the name
     * field (a 32-bit length, the text, padding to 4), so that a reader can account for m_Name.
     * `namePrefix` points at them; 0 and null for an object handed over whole. */
    uint32_t namePrefixLength;
    int64_t pathId;
    const uint8_t* namePrefix;
    const KestrovaTypeTree* typeTree; /* null when the file keeps no tree for the class */
    void* host;                       /* passed back to the callbacks */
    KestrovaReadStreamProc readStream;
    KestrovaReportProc report;
    /* From version 2. */
    uint32_t importFlags; /* KESTROVA_IMPORT_... */
} KestrovaPluginContext;

#define KESTROVA_CONTEXT_HAS(context, field)                                                  \
    ((context)->size >= (uint32_t)((const char*)&(context)->field - (const char*)(context)) + \
                            (uint32_t)sizeof((context)->field))

typedef void (*SetPluginContextProc)(const KestrovaPluginContext* context);

/* The entry points as a plug-in defines them. Declaring them here lets the compiler check a
 * plug-in's definitions against the types above; a plug-in may leave any of them out. */
KESTROVA_PLUGIN_EXPORT void* CreatePluginDialog(void* parent, const uint8_t* data, int32_t length);
KESTROVA_PLUGIN_EXPORT uint8_t AssetChanged(void);
KESTROVA_PLUGIN_EXPORT uint8_t* GetData(int32_t* length);
KESTROVA_PLUGIN_EXPORT uint8_t* ExportData(int32_t* length, const char16_t* extension);
KESTROVA_PLUGIN_EXPORT uint8_t* ImportData(const void* input, int32_t* length,
                                           const char16_t* extension);
KESTROVA_PLUGIN_EXPORT void SetPluginContext(const KestrovaPluginContext* context);

#ifdef __cplusplus
}
#endif

#endif /* KESTROVA_PLUGIN_H */
