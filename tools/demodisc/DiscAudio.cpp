#include "DiscAudio.h"

#include <FLAC++/decoder.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace quoril::demo {

namespace {

uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool endsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

class FlacReader : public FLAC::Decoder::File {
  public:
    explicit FlacReader(DiscAudio& audio) : m_audio(audio) {}
    std::string problem;

  protected:
    FLAC__StreamDecoderWriteStatus write_callback(const FLAC__Frame* frame,
                                                  const FLAC__int32* const buffer[]) override {
        if (frame->header.channels != 2) {
            problem = "not a stereo stream";
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        for (uint32_t i = 0; i < frame->header.blocksize; ++i) {
            m_audio.samples.push_back(buffer[0][i]);
            m_audio.samples.push_back(buffer[1][i]);
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    void metadata_callback(const FLAC__StreamMetadata* metadata) override {
        if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
            m_audio.sampleRate = metadata->data.stream_info.sample_rate;
            m_audio.bitsPerSample = metadata->data.stream_info.bits_per_sample;
            m_audio.samples.reserve(metadata->data.stream_info.total_samples * 2);
        }
    }
    void error_callback(FLAC__StreamDecoderErrorStatus status) override {
        problem = FLAC__StreamDecoderErrorStatusString[status];
    }

  private:
    DiscAudio& m_audio;
};

}  // namespace

bool readWavFile(const std::string& path, DiscAudio& audio, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a WAV file";
        return false;
    }
    size_t pos = 12;
    unsigned channels = 0;
    while (pos + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + pos;
        const uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && pos + 8 + 16 <= bytes.size()) {
            const uint16_t tag = le16(chunk + 8);
            channels = le16(chunk + 10);
            audio.sampleRate = le32(chunk + 12);
            audio.bitsPerSample = le16(chunk + 22);
            if (tag != 1 && tag != 0xFFFE) {
                error = path + " is not PCM";
                return false;
            }
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (channels != 2 ||
                (audio.bitsPerSample != 16 && audio.bitsPerSample != 24 && audio.bitsPerSample != 32)) {
                error = path + " is not stereo PCM of 16, 24 or 32 bits";
                return false;
            }
            size_t available = bytes.size() - (pos + 8);
            size_t length = (size == 0 || size > available) ? available : size;
            const unsigned width = audio.bitsPerSample / 8;
            length -= length % (2 * width);
            const unsigned char* p = chunk + 8;
            audio.samples.resize(length / width);
            for (size_t i = 0; i < audio.samples.size(); ++i, p += width) {
                uint32_t v = 0;
                for (unsigned b = 0; b < width; ++b) {
                    v |= static_cast<uint32_t>(p[b]) << (8 * b);
                }
                // Sign-extend from the sample's own width.
                const unsigned shift = 32 - audio.bitsPerSample;
                audio.samples[i] = static_cast<int32_t>(v << shift) >> shift;
            }
            return true;
        }
        pos += 8 + static_cast<size_t>(size) + (size & 1);
    }
    error = path + " has no data chunk";
    return false;
}

bool readFlacFile(const std::string& path, DiscAudio& audio, std::string& error) {
    auto reader = std::make_unique<FlacReader>(audio);
    reader->set_md5_checking(true);
    const FLAC__StreamDecoderInitStatus init = reader->init(path);
    if (init != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        error = "cannot decode " + path + ": " + FLAC__StreamDecoderInitStatusString[init];
        return false;
    }
    const bool decoded = reader->process_until_end_of_stream();
    const std::string state = reader->get_state().as_cstring();
    // finish() compares the MD5 signature with the decoded audio.
    const bool md5 = reader->finish();
    if (!decoded || !reader->problem.empty()) {
        error = "cannot decode " + path + ": " + (reader->problem.empty() ? state : reader->problem);
        return false;
    }
    if (!md5) {
        error = path + ": the decoded audio does not match the MD5 signature in the file";
        return false;
    }
    return true;
}

std::vector<std::string> cueSheetFiles(const std::string& cuePath, std::string& error) {
    std::vector<std::string> files;
    std::ifstream in(cuePath);
    if (!in) {
        error = "cannot open " + cuePath;
        return files;
    }
    const std::filesystem::path folder = std::filesystem::path(cuePath).parent_path();
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("FILE \"", 0) != 0) {
            continue;
        }
        const size_t close = line.find('"', 6);
        if (close == std::string::npos || close == 6) {
            continue;
        }
        std::string name = line.substr(6, close - 6);
        if (name.front() != '/' && name.find(':') == std::string::npos) {
            for (char& c : name) {
                if (c == '\\') {
                    c = '/';
                }
            }
            name = (folder / name).string();
        }
        files.push_back(name);
    }
    if (files.empty()) {
        error = cuePath + " names no files";
    }
    return files;
}

bool readDiscAudio(const std::string& path, DiscAudio& audio, std::string& error) {
    std::vector<std::string> files;
    if (endsWith(path, ".cue")) {
        files = cueSheetFiles(path, error);
        if (files.empty()) {
            return false;
        }
    } else {
        files.push_back(path);
    }
    audio = DiscAudio();
    for (const std::string& file : files) {
        DiscAudio part;
        bool ok = false;
        if (endsWith(file, ".flac")) {
            ok = readFlacFile(file, part, error);
        } else if (endsWith(file, ".wav")) {
            ok = readWavFile(file, part, error);
        } else {
            error = file + " is neither .wav nor .flac";
        }
        if (!ok) {
            return false;
        }
        if (audio.sampleRate == 0) {
            audio.sampleRate = part.sampleRate;
            audio.bitsPerSample = part.bitsPerSample;
        } else if (part.sampleRate != audio.sampleRate || part.bitsPerSample != audio.bitsPerSample) {
            error = file + " differs in rate or sample size from the files before it";
            return false;
        }
        audio.samples.insert(audio.samples.end(), part.samples.begin(), part.samples.end());
    }
    return true;
}

}  // namespace quoril::demo
