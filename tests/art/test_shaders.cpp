// The two shader files on a real driver (Mesa under Xvfb), fed as the wall feeds them.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <cstring>
#include <set>
#include <vector>

namespace {

constexpr int kW = 64, kH = 48;
// A 2 x 2 frame as the loader uploads it, top row first; one texel half clear.
constexpr uint8_t kTexels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 128};
constexpr uint8_t kClear[4] = {};
// The wall's vertex buffer: (x, y, u, v) of the unit square as a strip.
constexpr float kQuad[16] = {1, 0, 1, 0, 0, 0, 0, 0, 1, -1, 1, 1, 0, -1, 0, 1};

class Shaders : public ::testing::Test {
protected:
    void SetUp() override {
        program_.addShaderFromSourceFile(QOpenGLShader::Vertex, SHADER_DIR "/vtx.c");
        program_.addShaderFromSourceFile(QOpenGLShader::Fragment, SHADER_DIR "/flg.c");
        ASSERT_TRUE(program_.link()) << program_.log().toStdString();
    }
    QOpenGLShaderProgram program_;
    QOpenGLFunctions* gl_ = QOpenGLContext::currentContext()->functions();
};

// The viewer binds no names and feeds arrays 0 and 1 only: the position is
// gl_Vertex or sits at 0, the texture coordinate at 1, nothing else.
TEST_F(Shaders, AttributesSitWhereTheViewerFeedsThem) {
    GLint count = 0, size = 0;
    GLenum type = 0;
    gl_->glGetProgramiv(program_.programId(), GL_ACTIVE_ATTRIBUTES, &count);
    std::set<GLint> locations;
    for (GLint i = 0; i < count; ++i) {
        char name[64] = {};
        gl_->glGetActiveAttrib(program_.programId(), i, sizeof name, nullptr, &size, &type, name);
        const bool vertex = std::strcmp(name, "gl_Vertex") == 0;
        locations.insert(vertex ? 0 : program_.attributeLocation(name));
    }
    EXPECT_EQ(locations, (std::set<GLint>{0, 1}));
}

// Blending off, every pixel: inside the rectangle "state" names, the texel of
// its quadrant with its alpha and the frame's top row on top; outside, nothing.
TEST_F(Shaders, QuadCoversTheStateRectangle) {
    QOpenGLFramebufferObject target(kW, kH);
    ASSERT_TRUE(target.bind());
    gl_->glViewport(0, 0, kW, kH);
    GLuint frame;
    gl_->glGenTextures(1, &frame);
    gl_->glBindTexture(GL_TEXTURE_2D, frame);
    gl_->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, kTexels);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl_->glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, kQuad);
    gl_->glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, kQuad + 2);
    gl_->glEnableVertexAttribArray(0);
    gl_->glEnableVertexAttribArray(1);
    program_.bind();
    // Left, top, width, height in whole pixels from the top-left corner.
    const int rects[][4] = {{16, 8, 32, 24}, {-8, 30, 24, 32}, {50, 2, 6, 40}};
    for (auto [l, t, w, h] : rects) {
        SCOPED_TRACE(::testing::Message() << l << "," << t << " " << w << "x" << h);
        gl_->glClearColor(0, 0, 0, 0);
        gl_->glClear(GL_COLOR_BUFFER_BIT);
        program_.setUniformValue("state", 2.0f * l / kW, 2.0f * t / kH, 2.0f * w / kW,
                                 2.0f * h / kH);
        gl_->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        std::vector<uint8_t> pixels(kW * kH * 4);
        gl_->glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        int wrong = 0;
        for (int i = 0; i < kW * kH; ++i) {
            const double x = i % kW + 0.5 - l, y = kH - i / kW - 0.5 - t;  // rows read bottom up
            const bool inside = x > 0 && x < w && y > 0 && y < h;
            const uint8_t* want = inside ? &kTexels[((y * 2 > h) * 2 + (x * 2 > w)) * 4] : kClear;
            wrong += std::memcmp(&pixels[i * 4], want, 4) != 0;
        }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QSurfaceFormat format;  // the viewer's: fixed-function state beside the shaders
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    QSurfaceFormat::setDefaultFormat(format);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface)) return 1;
    return RUN_ALL_TESTS();
}
