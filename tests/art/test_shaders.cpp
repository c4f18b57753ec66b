// The two shader files against the viewer's side of their contract: they
// compile and link under GLSL 1.10, the texture coordinate sits at location
// 1 and the position at 0, "state" is the only uniform the viewer must set,
// and a quad drawn exactly as the wall draws it covers the rectangle that
// "state" names, shows the frame's top row at its top and keeps the texel's
// alpha for the blending. Runs on a real driver (Mesa under Xvfb in CI).
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "gl_test_context.h"

namespace {

// Reads a shader file the way the viewer's loader does: each line without
// its line end, each after a line feed.
std::string LoadShaderFile(const std::string& name) {
    std::ifstream in(std::string(SHADER_DIR) + "/" + name);
    if (!in) return {};
    std::string source;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        source += "\n" + line;
    }
    return source;
}

struct Built {
    GLuint program = 0;
    bool vertexCompiled = false;
    bool fragmentCompiled = false;
    bool linked = false;
    std::string log;
};

bool CompileInto(GLuint shader, const std::string& source, std::string* log) {
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    GLint length = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1, 0);
        glGetShaderInfoLog(shader, length, nullptr, buffer.data());
        *log += buffer.data();
    }
    return status == GL_TRUE;
}

Built BuildProgram(const std::string& vertexSource, const std::string& fragmentSource) {
    Built built;
    GLuint vertex = glCreateShader(GL_VERTEX_SHADER);
    GLuint fragment = glCreateShader(GL_FRAGMENT_SHADER);
    built.vertexCompiled = CompileInto(vertex, vertexSource, &built.log);
    built.fragmentCompiled = CompileInto(fragment, fragmentSource, &built.log);
    built.program = glCreateProgram();
    glAttachShader(built.program, vertex);
    glAttachShader(built.program, fragment);
    glLinkProgram(built.program);
    GLint status = GL_FALSE;
    glGetProgramiv(built.program, GL_LINK_STATUS, &status);
    built.linked = status == GL_TRUE;
    GLint length = 0;
    glGetProgramiv(built.program, GL_INFO_LOG_LENGTH, &length);
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1, 0);
        glGetProgramInfoLog(built.program, length, nullptr, buffer.data());
        built.log += buffer.data();
    }
    glDetachShader(built.program, vertex);
    glDetachShader(built.program, fragment);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return built;
}

// The 64 bytes every wall image's vertex buffer holds: (x, y, u, v) for the
// four corners of the unit square, in triangle-strip order.
constexpr float kQuad[16] = {
    1.0f, 0.0f,  1.0f, 0.0f,  //
    0.0f, 0.0f,  0.0f, 0.0f,  //
    1.0f, -1.0f, 1.0f, 1.0f,  //
    0.0f, -1.0f, 0.0f, 1.0f,  //
};

struct Rgba {
    int r, g, b, a;
};

// A 2 x 2 frame as the loader uploads it: the first row is the picture's
// top row. The last texel is half transparent.
constexpr Rgba kTexels[4] = {
    {255, 0, 0, 255},
    {0, 255, 0, 255},  // top row
    {0, 0, 255, 255},
    {255, 255, 255, 128},  // bottom row
};

constexpr int kTargetWidth = 64;
constexpr int kTargetHeight = 48;

// An image's rectangle in target pixels, from the top-left corner.
struct PixelRect {
    int left, top, width, height;
};

class Target {
public:
    Target() {
        glGenTextures(1, &colour_);
        glBindTexture(GL_TEXTURE_2D, colour_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTargetWidth, kTargetHeight, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
        complete_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glViewport(0, 0, kTargetWidth, kTargetHeight);

        glGenTextures(1, &frame_);
        glBindTexture(GL_TEXTURE_2D, frame_);
        uint8_t bytes[16];
        for (int i = 0; i < 4; ++i) {
            bytes[i * 4 + 0] = static_cast<uint8_t>(kTexels[i].r);
            bytes[i * 4 + 1] = static_cast<uint8_t>(kTexels[i].g);
            bytes[i * 4 + 2] = static_cast<uint8_t>(kTexels[i].b);
            bytes[i * 4 + 3] = static_cast<uint8_t>(kTexels[i].a);
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

        glGenBuffers(1, &buffer_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        glBufferData(GL_ARRAY_BUFFER, sizeof(kQuad), kQuad, GL_STATIC_DRAW);
    }
    ~Target() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteTextures(1, &colour_);
        glDeleteTextures(1, &frame_);
        glDeleteBuffers(1, &buffer_);
    }
    bool complete() const { return complete_; }

    // One image drawn the way the wall draws it, with "state" from the
    // rectangle in pixels.
    void Draw(GLuint program, const PixelRect& r) {
        glUseProgram(program);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        glBindTexture(GL_TEXTURE_2D, frame_);
        GLint loc = glGetUniformLocation(program, "state");
        glUniform4f(loc, static_cast<float>(r.left * 2.0 / kTargetWidth),
                    static_cast<float>(r.top * 2.0 / kTargetHeight),
                    static_cast<float>(r.width * 2.0 / kTargetWidth),
                    static_cast<float>(r.height * 2.0 / kTargetHeight));
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(0));
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(8));
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glDisableVertexAttribArray(1);
        glDisableVertexAttribArray(0);
        glUseProgram(0);
    }

    // Pixel (x, y) with y counted from the top, as the window shows it.
    Rgba At(int x, int y) const {
        const uint8_t* p =
            &pixels_[(static_cast<size_t>(kTargetHeight - 1 - y) * kTargetWidth + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    void ReadBack() {
        pixels_.assign(static_cast<size_t>(kTargetWidth) * kTargetHeight * 4, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kTargetWidth, kTargetHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    }

private:
    GLuint framebuffer_ = 0;
    GLuint colour_ = 0;
    GLuint frame_ = 0;
    GLuint buffer_ = 0;
    bool complete_ = false;
    std::vector<uint8_t> pixels_;
};

class ShaderFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string vertex = LoadShaderFile("vtx.c");
        const std::string fragment = LoadShaderFile("flg.c");
        ASSERT_FALSE(vertex.empty()) << "vtx.c missing or empty in " << SHADER_DIR;
        ASSERT_FALSE(fragment.empty()) << "flg.c missing or empty in " << SHADER_DIR;
        built_ = BuildProgram(vertex, fragment);
    }
    void TearDown() override {
        if (built_.program) glDeleteProgram(built_.program);
    }
    Built built_;
};

TEST_F(ShaderFiles, CompileAndLink) {
    EXPECT_TRUE(built_.vertexCompiled) << built_.log;
    EXPECT_TRUE(built_.fragmentCompiled) << built_.log;
    EXPECT_TRUE(built_.linked) << built_.log;
}

// The viewer enables arrays 0 and 1 and binds no names: the position must
// read array 0 (as gl_Vertex or as a generic input at 0) and the texture
// coordinate array 1; no input may wait for a third array.
TEST_F(ShaderFiles, AttributesSitWhereTheViewerFeedsThem) {
    ASSERT_TRUE(built_.linked) << built_.log;
    GLint count = 0;
    glGetProgramiv(built_.program, GL_ACTIVE_ATTRIBUTES, &count);
    bool usesVertex = false;
    bool positionAtZero = false;
    bool textureAtOne = false;
    for (GLint i = 0; i < count; ++i) {
        char name[128] = {};
        GLint size = 0;
        GLenum type = 0;
        glGetActiveAttrib(built_.program, static_cast<GLuint>(i), sizeof(name), nullptr, &size,
                          &type, name);
        const std::string n = name;
        if (n == "gl_Vertex") {
            usesVertex = true;
            continue;
        }
        ASSERT_NE(n.rfind("gl_", 0), 0u)
            << "reads a fixed-function input the viewer never feeds: " << n;
        const GLint location = glGetAttribLocation(built_.program, name);
        if (location == 0) {
            positionAtZero = true;
        } else if (location == 1) {
            EXPECT_EQ(type, static_cast<GLenum>(GL_FLOAT_VEC2)) << n;
            textureAtOne = true;
        } else {
            ADD_FAILURE() << n << " sits at location " << location;
        }
    }
    EXPECT_TRUE(textureAtOne) << "no texture coordinate at location 1";
    EXPECT_TRUE(usesVertex || positionAtZero) << "no position at location 0";
}

// "state" must be a vec4; any other uniform keeps its default of 0 for
// ever, which only a sampler on texture unit 0 can live with.
TEST_F(ShaderFiles, StateIsTheOnlyUniformToSet) {
    ASSERT_TRUE(built_.linked) << built_.log;
    GLint count = 0;
    glGetProgramiv(built_.program, GL_ACTIVE_UNIFORMS, &count);
    bool state = false;
    for (GLint i = 0; i < count; ++i) {
        char name[128] = {};
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(built_.program, static_cast<GLuint>(i), sizeof(name), nullptr, &size,
                           &type, name);
        if (std::string(name) == "state") {
            EXPECT_EQ(type, static_cast<GLenum>(GL_FLOAT_VEC4));
            state = true;
            continue;
        }
        ASSERT_EQ(type, static_cast<GLenum>(GL_SAMPLER_2D))
            << "uniform " << name << " is never set";
        GLint unit = -1;
        glGetUniformiv(built_.program, glGetUniformLocation(built_.program, name), &unit);
        EXPECT_EQ(unit, 0) << name;
    }
    EXPECT_TRUE(state);
}

// Every pixel of the target, blending off: inside the rectangle the texel of
// its quadrant with its own alpha, outside the cleared colour.
TEST_F(ShaderFiles, QuadCoversTheStateRectangle) {
    ASSERT_TRUE(built_.linked) << built_.log;
    const PixelRect rects[] = {
        {0, 0, kTargetWidth, kTargetHeight},  // the whole window
        {16, 8, 32, 24},                      // inside, off centre
        {-8, 30, 24, 32},                     // past the left and bottom edges
        {50, 2, 6, 40},                       // tall and narrow
    };
    Target target;
    ASSERT_TRUE(target.complete());
    glDisable(GL_BLEND);
    for (const PixelRect& r : rects) {
        SCOPED_TRACE(::testing::Message()
                     << "rect " << r.left << "," << r.top << " " << r.width << "x" << r.height);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        target.Draw(built_.program, r);
        target.ReadBack();
        int wrong = 0;
        for (int y = 0; y < kTargetHeight; ++y) {
            for (int x = 0; x < kTargetWidth; ++x) {
                // Pixel centres never fall on an edge: the edges are whole pixels.
                const double cx = x + 0.5 - r.left;
                const double cy = y + 0.5 - r.top;
                Rgba want = {0, 0, 0, 0};
                if (cx > 0 && cx < r.width && cy > 0 && cy < r.height) {
                    const int column = cx * 2 < r.width ? 0 : 1;
                    const int row = cy * 2 < r.height ? 0 : 1;
                    want = kTexels[row * 2 + column];
                }
                const Rgba got = target.At(x, y);
                if (got.r != want.r || got.g != want.g || got.b != want.b || got.a != want.a) {
                    if (++wrong <= 5) {
                        ADD_FAILURE()
                            << "pixel " << x << "," << y << " is (" << got.r << "," << got.g << ","
                            << got.b << "," << got.a << "), want (" << want.r << "," << want.g
                            << "," << want.b << "," << want.a << ")";
                    }
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!MakeTestGlContextCurrent(argc, argv)) return 1;
    const GLenum glew = glewInit();
    if (glew != GLEW_OK) {
        std::fprintf(stderr, "glewInit: %s\n",
                     reinterpret_cast<const char*>(glewGetErrorString(glew)));
        ReleaseTestGlContext();
        return 1;
    }
    if (!GLEW_VERSION_2_0 || !(GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object)) {
        std::fprintf(stderr, "the driver lacks GL 2.0 or framebuffer objects\n");
        ReleaseTestGlContext();
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    ReleaseTestGlContext();
    return result;
}
