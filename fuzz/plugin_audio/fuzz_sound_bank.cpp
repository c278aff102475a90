// Reads arbitrary bytes as an FSB5 sound bank. What reads must describe only bytes inside the
// bank; each sample turns into a WAV file whose header and length agree with the sample, or is
// refused with a reason. The same bytes, as the resource file of a later engine's AudioClip,
// must export as .fsb unchanged whenever they read as a bank.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/support/fuzz_support.h"
#include "fuzz/support/stream_host.h"
#include "plugins/audio/audio_body.h"
#include "plugins/audio/audio_session.h"
#include "plugins/audio/bank_wav.h"
#include "plugins/audio/sound_bank.h"

namespace {

using namespace kestrova;
using plugin::Bytes;
using plugin::ByteSpan;

// An AudioClip of engine 2019.4 after its name, pointing at the whole resource file.
Bytes ClipBody(std::uint64_t size) {
    Bytes body;
    // Load type, channels, rate, bits, length, two flags, the sub-sound, three more flags.
    for (std::uint32_t word : {1u, 2u, 44100u, 16u, 0u, 0u, 0u, 0x01u}) {
        PutLittleEndian32(body, word);
    }
    const std::string source = "bank.resource";
    PutLittleEndian32(body, static_cast<std::uint32_t>(source.size()));
    body.insert(body.end(), source.begin(), source.end());
    body.resize(RoundUp4(body.size()), 0);
    PutLittleEndian64(body, 0);
    PutLittleEndian64(body, size);
    PutLittleEndian32(body, 0);
    return body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan input(data, size);
    audio::SoundBank bank;
    std::string error;
    const bool reads = audio::ParseSoundBank(input, bank, error);
    CHECK(reads || !error.empty());  // a refused bank says why
    if (reads) {
        for (std::size_t i = 0; i < bank.samples.size(); ++i) {
            const audio::BankSample& sample = bank.samples[i];
            CHECK(bank.dataStart + sample.offset + sample.size <= size);  // sample inside the bank
            Bytes wav;
            if (!audio::SampleToWav(bank, input, i, wav, error)) {
                CHECK(!error.empty());  // a refused sample says why
                continue;
            }
            const std::optional<audio::WavInfo> info = audio::ReadWavInfo(wav);
            CHECK(info && info->channels == sample.channels &&
                  info->sampleRate == sample.rate);  // WAV header of the sample
            CHECK(info->dataBytes == sample.frames * sample.channels * info->bitsPerSample /
                                         8);  // WAV holds every frame
        }
    }

    fuzz::StreamHost host;
    host.files["bank.resource"].assign(input.begin(), input.end());
    const Bytes prefix = {4, 0, 0, 0, 'c', 'l', 'i', 'p'};
    const KestrovaPluginContext context = host.Context("2019.4.26f1", prefix);
    audio::AudioSession session;
    session.SetContext(&context);
    const Bytes body = ClipBody(size);
    session.Load(body);
    CHECK(!session.damaged() && session.streamed());  // the clip's fields read
    const std::optional<Bytes> exported = session.Export(u"fsb");
    CHECK(exported.has_value() == reads);  // a bank exports exactly when it reads
    CHECK(!exported || std::equal(exported->begin(), exported->end(), input.begin(),
                                  input.end()));  // the bank exported as it is
    session.Export(u"wav");
    CHECK(!session.Import(input, u"wav") && session.Body() == body);  // no import, body kept
    return 0;
}
