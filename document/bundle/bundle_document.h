#pragma once
// A serialized member of a compressed bundle ("UnityFS", "UnityWeb") as the open document: the
// bundle is decompressed into the working folder as the working copy, the member is read from
// its range of it, and Save As rebuilds a whole bundle around the edited member. Every other
// file (plain serialized files, "UnityRaw" bundles) opens and saves as the document does alone.

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "document/asset_file.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/bundle_writer.h"

namespace kestrova::bundle {

// True when the file begins as a "UnityFS" or "UnityWeb" bundle.
bool IsCompressedBundle(const std::u16string& path);

// The nodes of `archive` that hold serialized files: those flagged so, and in a bundle without
// node flags ("UnityWeb") every node that is not a resource file.
std::vector<BundleNode> SerializedMembers(const BundleArchive& archive);

// Reads the header and nodes of the compressed bundle at `path` (nothing is decompressed but the
// blocks info, or the directory of a "UnityWeb" bundle) and gives its serialized members.
Outcome ReadBundleMembers(const std::u16string& path, std::vector<BundleNode>& members);

// "name (size)" of each member, one after another: the list a refusal names.
std::u16string MemberList(const std::vector<BundleNode>& members);

// Opens `path` into `doc`. A compressed bundle is decompressed into the working folder and its
// serialized member `member` (or its only one when none is named) opened, reporting
// "Decompressing: (i/n)" per block; a bundle with several serialized members and no name is
// refused with their list. Everything else goes to LoadAssetFile. On a refusal the document that
// was open stays open and nothing new is left in the working folder.
Outcome LoadDocument(AssetFile& doc, const std::u16string& path,
                     const std::optional<std::string>& member = std::nullopt,
                     const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// Saves the document to `target`. A member of a compressed bundle is saved as a whole bundle with
// the member's edits, compressed as `compression` says; an unchanged bundle saved as its original
// compression is the original's bytes. A "UnityWeb" bundle that changed, or that is to be
// compressed otherwise, is written as a "UnityFS" bundle (LZMA unless chosen). Any other document
// is its working copy; a compression choice for it is refused.
Outcome SaveDocumentAs(const AssetFile& doc, const std::u16string& target,
                       ChosenCompression compression = ChosenCompression::AsOriginal,
                       const ProgressCallback& progress = {}, const std::stop_token& stop = {});

}  // namespace kestrova::bundle
