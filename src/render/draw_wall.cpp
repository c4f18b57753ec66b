// Drawing one frame of the wall and advancing the animations.
#include <GL/glew.h>

#include "platform/platform.h"
#include "render/render.h"
#include "wall/gif_wall.h"

namespace {

// One drawn frame is 2 hundredths of a second of animation.
constexpr int32_t kFrameStep = 2;

void AdvanceFrame(WallImage* image) {
    FrameTexture& shown = image->frames[static_cast<size_t>(image->currentFrame)];
    shown.elapsed += kFrameStep;
    if (shown.delay <= shown.elapsed) {
        image->currentFrame = (image->currentFrame + 1) % static_cast<int32_t>(image->frames.size());
        image->frames[static_cast<size_t>(image->currentFrame)].elapsed = 0;
    }
}

// The wall's background: what shows between and below the images.
void ClearToWallGrey() {
    glClearColor(0.75f, 0.75f, 0.75f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace

void ShowEmptyWall(GifWall* wall) {
    ClearToWallGrey();
    SwapGlBuffers(wall->hdc);
}

void DrawWall(GifWall* wall) {
    const int32_t W = wall->clientWidth;
    const int32_t H = wall->clientHeight;
    const int32_t CW = wall->columnWidth;
    const int32_t NC = wall->columnCount;
    const double sx = 2.0 / W;           // NDC units per horizontal pixel
    const int32_t M = (W - CW * NC) / 2;  // left margin that centres the columns
    const double colW = CW * sx;

    ClearToWallGrey();
    const GLuint program = *wall->programHolder;
    glUseProgram(program);

    for (int32_t c = 0; c < NC; ++c) {
        for (int32_t index : wall->columns[static_cast<size_t>(c)]) {
            WallImage& image = wall->images[static_cast<size_t>(index)];
            if (!image.active) continue;
            glBindBuffer(GL_ARRAY_BUFFER, image.buffer);
            glBindTexture(GL_TEXTURE_2D,
                          image.frames[static_cast<size_t>(image.currentFrame)].texture);
            GLint loc = glGetUniformLocation(program, "state");
            const double aspect = static_cast<double>(W) / static_cast<double>(H);
            const double x = (c * CW + M) * sx;
            const double y = (image.top * aspect) * sx;
            const double z = colW;
            const double w = ((static_cast<double>(image.height) / image.width) * aspect) * colW;
            glUniform4f(loc, static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),
                        static_cast<float>(w));
            glEnableVertexAttribArray(0);
            glEnableVertexAttribArray(1);
            glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(0));
            glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(8));
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
            glDisableVertexAttribArray(1);
            glDisableVertexAttribArray(0);
            AdvanceFrame(&image);
        }
    }
    SwapGlBuffers(wall->hdc);
}
