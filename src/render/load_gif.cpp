// LoadGif and ReleaseImage: the GL side of the decoder.
#include "render/load_gif.h"

#include <GL/glew.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "gif/gif_decoder.h"
#include "platform/platform.h"
#include "wall/frame_change.h"
#include "wall/gif_wall.h"

// Position (x, y) and texture coordinate (u, v) of the quad's corners,
// drawn as one triangle strip; (0, 0) is the image's top-left corner.
const float kQuadVertices[16] = {
    1.0f, 0.0f,  1.0f, 0.0f,  //
    0.0f, 0.0f,  0.0f, 0.0f,  //
    1.0f, -1.0f, 1.0f, 1.0f,  //
    0.0f, -1.0f, 0.0f, 1.0f,  //
};

std::atomic<uint64_t> gFileTextureBudget{kDefaultFileTextureBudget};

namespace {

std::atomic<int64_t> gLiveFrameTextures{0};
thread_local void (*tEventsWhileLoading)() = nullptr;
constexpr uint32_t kEventsEveryMs = 100;

// Receives the decoded file and turns it into GL objects on the stage.
class TextureSink : public GifFrameSink {
public:
    explicit TextureSink(GifWall* wall) : wall_(wall), lastEvents_(TimeMs()) {}

    void Opened(const GifFileInfo& info) override {
        // A texture GL cannot hold would draw as garbage: skip the file.
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        if (info.canvasWidth > maxSize || info.canvasHeight > maxSize) throw GifDecodeFailure{};

        // The drawn size keeps the file's proportions at the column width,
        // whatever size the textures have.
        wall_->pendingHeight = static_cast<int32_t>(static_cast<double>(info.screenHeight) /
                                                    static_cast<double>(info.screenWidth) *
                                                    static_cast<double>(wall_->columnWidth));
        budget_ = FileTextureBudget(wall_->pendingHeight, wall_->columnWidth);
        frameBytes_ = static_cast<uint64_t>(info.canvasWidth) * static_cast<uint64_t>(info.canvasHeight) * 4;
        // Not even one frame fits (an image drawn 0 pixels high gets none).
        if (frameBytes_ > budget_) throw GifDecodeFailure{};
        WallImage& image = wall_->pendingImage;
        glGenBuffers(1, &image.buffer);
        glBindBuffer(GL_ARRAY_BUFFER, image.buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof kQuadVertices, kQuadVertices, GL_STATIC_DRAW);
        image.active = true;
    }

    void Frame(const GifFrame& frame) override {
        if (tEventsWhileLoading && TimeMs() - lastEvents_ >= kEventsEveryMs) {
            tEventsWhileLoading();
            lastEvents_ = TimeMs();
        }
        // The frame that would pass the budget is not uploaded: the file
        // fails and what it uploaded is freed.
        std::vector<FrameTexture>& frames = wall_->pendingImage.frames;
        if ((frames.size() + 1) * frameBytes_ > budget_) throw GifDecodeFailure{};
        // Everything that may throw comes before the texture exists: the
        // list has room for it, the canvases are copied, so no failure can
        // leave a texture name outside the list.
        if (frames.size() == frames.capacity()) frames.reserve(std::max<size_t>(16, frames.size() * 2));
        FrameTexture made{frame.delay, 0, 0};
        made.opaque = true;
        const size_t texels = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
        for (size_t i = 0; i < texels && made.opaque; ++i) made.opaque = frame.rgba[i * 4 + 3] == 255;
        // What this frame changes on screen against the one before it lets
        // the drawing redraw only that part.
        const size_t bytes = texels * 4;
        if (frames.empty()) {
            first_.assign(frame.rgba, frame.rgba + bytes);
            firstWidth_ = frame.width;
            firstHeight_ = frame.height;
        } else if (previous_.size() == bytes) {
            FindFrameChange(previous_.data(), frame.rgba, frame.width, frame.height, &made);
        }
        previous_.assign(frame.rgba, frame.rgba + bytes);

        GLuint texture = 0;
        glGenTextures(1, &texture);
        gLiveFrameTextures.fetch_add(1, std::memory_order_relaxed);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, frame.width, frame.height, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, frame.rgba);
        // The drawing thread may show this texture as soon as the image is
        // placed; the upload must be complete by then.
        glFinish();
        made.texture = texture;
        frames.push_back(made);
    }

    // Frame 0 follows the last frame when the animation starts over.
    void Finished() {
        std::vector<FrameTexture>& frames = wall_->pendingImage.frames;
        if (frames.empty() || previous_.size() != first_.size()) return;
        FindFrameChange(previous_.data(), first_.data(), firstWidth_, firstHeight_, &frames[0]);
    }

private:
    GifWall* wall_;
    uint64_t budget_ = 0;
    uint64_t frameBytes_ = 0;
    uint32_t lastEvents_;

    std::vector<uint8_t> first_;     // frame 0's canvas
    int32_t firstWidth_ = 0;
    int32_t firstHeight_ = 0;
    std::vector<uint8_t> previous_;  // the last frame's canvas
};

}  // namespace

uint64_t FileTextureBudget(int32_t displayHeight, int32_t columnWidth) {
    if (displayHeight <= 0 || columnWidth <= 0) return 0;
    const uint64_t budget = gFileTextureBudget.load();
    if (displayHeight >= columnWidth) return budget;
    // Flatter than square: a share in proportion to the drawn height, so
    // that a column's textures stay bounded however flat its images are.
    return static_cast<uint64_t>(static_cast<double>(budget) * displayHeight / columnWidth);
}

void SetEventsWhileLoading(void (*events)()) { tEventsWhileLoading = events; }

int64_t LiveFrameTextures() { return gLiveFrameTextures.load(std::memory_order_relaxed); }

int32_t LoadGif(GifWall* wall, std::string path) {
    TextureSink sink(wall);
    try {
        // Paths are UTF-8 and go to fopen unchanged: no cut, no conversion.
        DecodeGifFile(path.c_str(), &sink);
        sink.Finished();
        return 0;
    } catch (...) {
        // A bad file, a failed allocation, anything: skip the file and
        // leave no GL object of it alive.
        ReleaseImage(&wall->pendingImage);
        return 1;
    }
}

int32_t ReleaseImage(WallImage* image) {
    if (!image->active) return 0;
    glDeleteBuffers(1, &image->buffer);
    for (const FrameTexture& frame : image->frames) glDeleteTextures(1, &frame.texture);
    gLiveFrameTextures.fetch_sub(static_cast<int64_t>(image->frames.size()), std::memory_order_relaxed);
    image->active = false;
    return 1;
}
