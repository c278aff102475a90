// LZMA blocks for the Windows installer program, which has no liblzma: the same functions as
// codec_lzma.cpp over the LZMA SDK's C decoder and encoder (Debian's lzma-dev ships their
// sources; the MinGW build compiles them). 5 property bytes and a raw LZMA stream (after an
// 8-byte size in the "LZMA-alone" header of a "UnityWeb" stream), decoded and encoded in pieces.

#include <algorithm>
#include <cstdlib>

#include "common/text.h"
#include "document/bundle/codecs_internal.h"

// Last: on Windows they bring in <windows.h> (built with NOMINMAX).
#include "LzmaDec.h"
#include "LzmaEnc.h"

namespace kestrova::bundle {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;
// The SDK's smallest dictionary.
constexpr std::uint32_t kMinDictionary = 1 << 12;
// The encoder's window: that of xz's default level, which codec_lzma.cpp uses.
constexpr std::uint32_t kEncoderDictionary = 8 << 20;
// An end marker takes about 6 bytes; what may follow a stream at its declared size.
constexpr std::uint64_t kMaxEndMarker = 16;

void* Allocate(void*, std::size_t size) {
    return std::malloc(size);
}
void Free(void*, void* address) {
    std::free(address);
}
ISzAlloc kAllocator{Allocate, Free};

struct Decoder {
    CLzmaDec state;
    Decoder() { LzmaDec_Construct(&state); }
    ~Decoder() { LzmaDec_Free(&state, &kAllocator); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
};

struct Encoder {
    CLzmaEncHandle handle = LzmaEnc_Create(&kAllocator);
    Encoder() = default;
    ~Encoder() {
        if (handle != nullptr) {
            LzmaEnc_Destroy(handle, &kAllocator, &kAllocator);
        }
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
};

// The encoder's input: `pull` fills a piece at a time.
struct PulledInput {
    const std::function<bool(std::span<std::uint8_t>)>* pull = nullptr;
    const std::stop_token* stop = nullptr;
    std::uint64_t length = 0;
    std::uint64_t taken = 0;
    std::vector<std::uint8_t> piece;
    std::size_t used = 0;
    bool failed = false;

    SRes Read(std::uint8_t* buffer, std::size_t* size) {
        if (stop->stop_requested()) {
            return SZ_ERROR_PROGRESS;
        }
        if (used == piece.size() && taken < length) {
            piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, length - taken)));
            used = 0;
            if (!(*pull)(piece)) {
                failed = true;
                return SZ_ERROR_READ;
            }
            taken += piece.size();
        }
        const std::size_t n = std::min(*size, piece.size() - used);
        std::copy_n(piece.data() + used, n, buffer);
        used += n;
        *size = n;  // 0 at the end
        return SZ_OK;
    }
};

struct PushedOutput {
    const std::function<bool(std::span<const std::uint8_t>)>* push = nullptr;
    std::uint64_t written = 0;
    bool failed = false;
};

// The SDK's stream interfaces, each followed by what it stands for; the SDK hands the interface
// back as `p`, which is the start of the wrapper.
struct InStream {
    ISeqInStream base;
    PulledInput* input;
};
struct OutStream {
    ISeqOutStream base;
    PushedOutput* output;
};

SRes ReadInput(void* p, void* buffer, std::size_t* size) {
    return static_cast<InStream*>(p)->input->Read(static_cast<std::uint8_t*>(buffer), size);
}

std::size_t WriteOutput(void* p, const void* data, std::size_t size) {
    PushedOutput& out = *static_cast<OutStream*>(p)->output;
    if (!(*out.push)(std::span(static_cast<const std::uint8_t*>(data), size))) {
        out.failed = true;
        return 0;
    }
    out.written += size;
    return size;
}

}  // namespace

namespace detail {

Outcome DecodeLzma(const ByteSource& source, const EncodedBlock& block, StreamOutput& output,
                   DecodeBuffers& buffers, const std::stop_token& stop, std::uint64_t limit) {
    std::uint8_t props[LZMA_PROPS_SIZE] = {};
    std::uint64_t header = 0;
    if (Outcome o = ReadLzmaHeader(source, block, props, header); !o) {
        return o;
    }
    CLzmaProps decoded;
    if (LzmaProps_Decode(&decoded, props, LZMA_PROPS_SIZE) != SZ_OK) {
        return Outcome::Failure(block.what + u" has LZMA properties that are not valid.");
    }
    // No block needs a window larger than itself, so a dictionary the block cannot fill is not
    // allocated: the decoder is given the smaller size (a distance beyond it is refused).
    std::uint32_t window = 0;
    if (Outcome o = LzmaWindow(block, decoded.dicSize, window); !o) {
        return o;
    }
    for (int i = 0; i < 4; ++i) {
        props[1 + i] = static_cast<std::uint8_t>(window >> (8 * i));
    }
    Decoder z;
    if (LzmaDec_Allocate(&z.state, props, LZMA_PROPS_SIZE, &kAllocator) != SZ_OK) {
        return Outcome::Failure(block.what + u": the LZMA decoder cannot start.");
    }
    LzmaDec_Init(&z.state);
    const std::uint64_t wanted = std::min(limit, block.uncompressedSize);
    std::uint64_t fed = header;
    std::size_t inUsed = 0;
    std::size_t inHeld = 0;
    std::uint64_t produced = 0;
    buffers.input.resize(kPiece);
    auto endsEarly = [&] {
        return Outcome::Failure(block.what + u": its LZMA data is damaged or ends early, after " +
                                Bytes(produced) + u" of " + Bytes(block.uncompressedSize) + u".");
    };
    while (produced < wanted) {
        if (stop.stop_requested()) {
            return Cancelled();
        }
        if (inUsed == inHeld && fed < block.compressedSize) {
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(kPiece, block.compressedSize - fed));
            if (!source.Read(block.offset + fed, std::span(buffers.input).first(n))) {
                return Outcome::Failure(block.what + u" runs past the end of the file.");
            }
            inUsed = 0;
            inHeld = n;
            fed += n;
        }
        const std::size_t room =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, wanted - produced));
        std::span<std::uint8_t> out = output.Reserve(room);
        SizeT made = room;
        SizeT taken = inHeld - inUsed;
        ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
        const SRes r =
            LzmaDec_DecodeToBuf(&z.state, out.data(), &made, buffers.input.data() + inUsed, &taken,
                                LZMA_FINISH_ANY, &status);
        inUsed += taken;
        if (!output.Commit(made)) {
            return Outcome::Failure(output.failure());
        }
        produced += made;
        const bool noMoreInput = inUsed == inHeld && fed == block.compressedSize;
        if (r != SZ_OK || (produced < wanted && (status == LZMA_STATUS_FINISHED_WITH_MARK ||
                                                 (made == 0 && noMoreInput)))) {
            return endsEarly();
        }
    }
    if (wanted < block.uncompressedSize) {
        return Outcome::Success();
    }
    // The stream reached its declared size; what follows may only be its end marker.
    const std::uint64_t unused = (inHeld - inUsed) + (block.compressedSize - fed);
    if (unused == 0) {
        return Outcome::Success();
    }
    std::uint8_t rest[kMaxEndMarker];
    const std::size_t held = inHeld - inUsed;
    if (unused <= kMaxEndMarker) {
        std::copy_n(buffers.input.data() + inUsed, held, rest);
        if (source.Read(block.offset + fed, std::span(rest + held, unused - held))) {
            std::uint8_t none[1];
            SizeT made = 0;
            SizeT taken = static_cast<SizeT>(unused);
            ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
            if (LzmaDec_DecodeToBuf(&z.state, none, &made, rest, &taken, LZMA_FINISH_END,
                                    &status) == SZ_OK &&
                status == LZMA_STATUS_FINISHED_WITH_MARK && taken == unused) {
                return Outcome::Success();
            }
        }
    }
    return Outcome::Failure(block.what + u": its LZMA data runs past its declared " +
                            Bytes(block.uncompressedSize) + u" (" + Bytes(unused) +
                            u" left over).");
}

}  // namespace detail

Outcome EncodeLzmaStream(std::uint64_t length,
                         const std::function<bool(std::span<std::uint8_t>)>& pull,
                         const std::function<bool(std::span<const std::uint8_t>)>& push,
                         std::uint64_t& written, const std::stop_token& stop) {
    Encoder encoder;
    CLzmaEncProps settings;
    LzmaEncProps_Init(&settings);
    // A window larger than the input buys nothing and costs memory and time to set up.
    settings.dictSize = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(length, kMinDictionary, kEncoderDictionary));
    settings.writeEndMark = 0;  // the stream's size is in the blocks info
    settings.numThreads = 1;
    std::uint8_t props[LZMA_PROPS_SIZE] = {};
    SizeT propsSize = sizeof props;
    if (encoder.handle == nullptr || LzmaEnc_SetProps(encoder.handle, &settings) != SZ_OK ||
        LzmaEnc_WriteProperties(encoder.handle, props, &propsSize) != SZ_OK) {
        return Outcome::Failure(u"The LZMA encoder cannot start.");
    }
    if (!push(props)) {
        return Outcome::Failure(u"The compressed data could not be written.");
    }
    PulledInput in;
    in.pull = &pull;
    in.stop = &stop;
    in.length = length;
    PushedOutput out;
    out.push = &push;
    InStream inStream{{ReadInput}, &in};
    OutStream outStream{{WriteOutput}, &out};
    const SRes r = LzmaEnc_Encode(encoder.handle, &outStream.base, &inStream.base, nullptr,
                                  &kAllocator, &kAllocator);
    written = sizeof props + out.written;
    if (stop.stop_requested()) {
        return Cancelled();
    }
    if (in.failed) {
        return Outcome::Failure(u"The data to compress could not be read.");
    }
    if (out.failed) {
        return Outcome::Failure(u"The compressed data could not be written.");
    }
    if (r != SZ_OK || in.taken != length) {
        return Outcome::Failure(u"LZMA compression failed.");
    }
    return Outcome::Success();
}

}  // namespace kestrova::bundle
