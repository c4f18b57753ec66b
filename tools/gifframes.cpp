// gifframes: decodes GIF files with the viewer's own decoder and writes the
// composed frames as PAM pictures, or times the decoder over many files.
//
//   gifframes [--scale-width N] [--max-canvas-mb N] FILE.gif OUTDIR
//   gifframes --bench REPEAT [--scale-width N] [--max-canvas-mb N] FILE...
//
// Failure policy: a file the decoder rejects prints one line on stderr and
// makes the exit status 1 (with --bench it is counted and skipped); a frame
// that cannot be written is the same; bad usage exits with 2. Only regular
// files are read (a FIFO fails at once), and a file whose canvas would pass
// --max-canvas-mb (default 1024) fails.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"

namespace {

// Wider than any GIF screen (16-bit): nothing is ever downscaled.
constexpr int kNoScaling = 2147483647;

const char kUsage[] =
    "usage: gifframes [--scale-width N] [--max-canvas-mb N] FILE.gif OUTDIR\n"
    "       gifframes --bench REPEAT [--scale-width N] [--max-canvas-mb N] FILE...\n"
    "Writes every composed frame of FILE.gif as OUTDIR/frame_NNN.pam (RGBA),\n"
    "or decodes each FILE REPEAT times and prints the decode time. A file whose\n"
    "canvas would need more than --max-canvas-mb MiB (default 1024) fails.\n";

int UsageError(const char* why) {
    std::fprintf(stderr, "gifframes: %s\n%s", why, kUsage);
    return 2;
}

// A whole positive decimal number that fits in an int.
bool ParsePositive(const char* text, int* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || parsed < 1 || parsed > kNoScaling) {
        return false;
    }
    *value = static_cast<int>(parsed);
    return true;
}

void ReportUndecodable(const char* path) {
    std::fprintf(stderr, "gifframes: %s: cannot be decoded\n", path);
}

// Raised by the sink when a frame cannot be written, to end the decode.
struct WriteFailure {
    std::string path;
};

bool WritePam(const std::string& path, const GifFrame& frame) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                 frame.width, frame.height);
    const size_t bytes = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 4;
    const bool written = bytes == 0 || std::fwrite(frame.rgba, 1, bytes, out) == bytes;
    const bool closed = std::fclose(out) == 0;
    return written && closed;
}

class PamSink : public GifFrameSink {
public:
    explicit PamSink(std::filesystem::path dir) : dir_(std::move(dir)) {}

    void Frame(const GifFrame& frame) override {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%03zu.pam", written_.size());
        const std::string path = (dir_ / name).string();
        written_.push_back(path);
        if (!WritePam(path, frame)) throw WriteFailure{path};
        char line[96];
        std::snprintf(line, sizeof line, "frame %zu %dx%d delay %d\n", written_.size() - 1,
                      frame.width, frame.height, frame.delay);
        lines_ += line;
    }

    // A file that fails leaves no frames behind: the viewer discards every
    // frame of a file it cannot load, and so do we.
    void RemoveWritten() {
        std::error_code ignored;
        for (const std::string& path : written_) std::filesystem::remove(path, ignored);
    }

    const std::string& lines() const { return lines_; }

private:
    std::filesystem::path dir_;
    std::vector<std::string> written_;
    std::string lines_;
};

int WriteFrames(const char* path, const char* outDir) {
    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    if (error || !std::filesystem::is_directory(outDir)) {
        std::fprintf(stderr, "gifframes: %s: cannot create the folder\n", outDir);
        return 1;
    }
    PamSink sink{std::filesystem::path(outDir)};
    try {
        DecodeGifFile(path, &sink);
    } catch (const WriteFailure& failure) {
        sink.RemoveWritten();
        std::fprintf(stderr, "gifframes: %s: cannot be written\n", failure.path.c_str());
        return 1;
    } catch (const GifDecodeFailure&) {
        sink.RemoveWritten();
        ReportUndecodable(path);
        return 1;
    } catch (const std::bad_alloc&) {
        sink.RemoveWritten();
        ReportUndecodable(path);
        return 1;
    }
    std::fputs(sink.lines().c_str(), stdout);
    return 0;
}

// Counts what the decoder hands over and touches none of its pixels.
class CountingSink : public GifFrameSink {
public:
    void Frame(const GifFrame& frame) override {
        ++frames;
        pixels += static_cast<uint64_t>(frame.width) * static_cast<uint64_t>(frame.height);
    }
    uint64_t frames = 0;
    uint64_t pixels = 0;
};

int Bench(int repeat, const std::vector<const char*>& paths) {
    uint64_t decodedFiles = 0;
    uint64_t failedFiles = 0;
    uint64_t frames = 0;
    uint64_t pixels = 0;
    std::chrono::steady_clock::duration spent{};
    for (const char* path : paths) {
        bool failed = false;
        uint64_t fileFrames = 0;
        uint64_t filePixels = 0;
        for (int round = 0; round < repeat && !failed; ++round) {
            CountingSink sink;
            const auto start = std::chrono::steady_clock::now();
            try {
                DecodeGifFile(path, &sink);
            } catch (const GifDecodeFailure&) {
                failed = true;
            } catch (const std::bad_alloc&) {
                failed = true;
            }
            spent += std::chrono::steady_clock::now() - start;
            fileFrames += sink.frames;
            filePixels += sink.pixels;
        }
        if (failed) {
            // A failing file fails on every round; its frames do not count.
            ReportUndecodable(path);
            ++failedFiles;
            continue;
        }
        ++decodedFiles;
        frames += fileFrames;
        pixels += filePixels;
    }
    if (failedFiles > 0) std::printf("failed=%llu\n", static_cast<unsigned long long>(failedFiles));
    std::printf("files=%llu frames=%llu pixels=%llu seconds=%.6f\n",
                static_cast<unsigned long long>(decodedFiles), static_cast<unsigned long long>(frames),
                static_cast<unsigned long long>(pixels),
                std::chrono::duration<double>(spent).count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int scaleWidth = kNoScaling;
    int maxCanvasMb = 1024;
    int repeat = 0;  // 0: not benchmarking
    std::vector<const char*> operands;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scale-width" || arg == "--bench" || arg == "--max-canvas-mb") {
            if (i + 1 >= argc) return UsageError((arg + " needs a number").c_str());
            int* target = arg == "--bench" ? &repeat : arg == "--max-canvas-mb" ? &maxCanvasMb : &scaleWidth;
            if (!ParsePositive(argv[++i], target)) {
                return UsageError((arg + " needs a whole number of at least 1").c_str());
            }
        } else if (arg == "--") {
            for (++i; i < argc; ++i) operands.push_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError(("unknown option " + arg).c_str());
        } else {
            operands.push_back(argv[i]);
        }
    }
    gScaleWidth = scaleWidth;
    gMaxCanvasBytes = static_cast<uint64_t>(maxCanvasMb) << 20;
    if (repeat > 0) {
        if (operands.empty()) return UsageError("--bench needs at least one file");
        return Bench(repeat, operands);
    }
    if (operands.size() != 2) return UsageError("expected a GIF file and an output folder");
    return WriteFrames(operands[0], operands[1]);
}
