// LoadGif and ReleaseImage: the GL side of the decoder.
#include "render/load_gif.h"

#include <GL/glew.h>

#include <algorithm>
#include <atomic>
#include <new>

#include "gif/gif_decoder.h"
#include "platform/platform.h"
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
        // Grow the list before the texture exists: a failed allocation then
        // leaves no texture name outside the list.
        if (frames.size() == frames.capacity()) frames.reserve(std::max<size_t>(16, frames.size() * 2));
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
        wall_->pendingImage.frames.push_back(FrameTexture{frame.delay, 0, texture});
    }

private:
    GifWall* wall_;
    uint64_t budget_ = 0;
    uint64_t frameBytes_ = 0;
    uint32_t lastEvents_;
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
