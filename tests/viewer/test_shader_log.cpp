// LoadShaderProgram in folders holding both, one or none of "vtx.c" and
// "flg.c": the exact standard-output lines, the one character it reads from
// standard input, and the program it returns. The driver's own logs are
// taken from compiling the same sources here, so the expected text holds on
// any driver.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "render/render.h"
#include "viewer_gl_util.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// What the driver logs for one shader, as the loader prints it: nothing, or
// the log and a line end.
std::string CompileLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) return {};
    std::string log(static_cast<size_t>(length) + 1, '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    return std::string(log.c_str()) + "\n";
}

GLuint Compile(GLenum type, const std::string& source) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    return shader;
}

// The whole log for the given sources, built with our own GL calls.
std::string ExpectedLog(const std::string& vertexSource, const std::string& fragmentSource) {
    GLuint vertex = Compile(GL_VERTEX_SHADER, vertexSource);
    GLuint fragment = Compile(GL_FRAGMENT_SHADER, fragmentSource);
    std::string out = "Compiling shader : vtx.c\n" + CompileLog(vertex) +
                      "Compiling shader : flg.c\n" + CompileLog(fragment) + "Linking program\n";
    GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length > 0) {
        std::string log(static_cast<size_t>(length) + 1, '\0');
        glGetProgramInfoLog(program, length, nullptr, log.data());
        out += std::string(log.c_str()) + "\n";
    }
    glDeleteProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return out;
}

// A file's text as the loader hands it to GL: every line (without LF or
// CR LF) behind a line feed.
std::string AsSource(const std::string& text) {
    std::string source;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        source += "\n" + line;
    }
    return source;
}

const char* const kNoVertexLine =
    "Impossible to open vtx.c. Are you in the right directory ? Don't forget to read the FAQ !\n";

class ShaderLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Viewer(), nullptr);
        const fs::path runtime = REELSTACK_RUNTIME_DIR;
        vertexText = ReadText(runtime / "vtx.c");
        fragmentText = ReadText(runtime / "flg.c");
        ASSERT_FALSE(vertexText.empty());
        ASSERT_FALSE(fragmentText.empty());
        folder = FreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_EQ(chdir(folder.c_str()), 0);
        // Whatever the loader reads comes from here: "xy".
        WriteText(folder / "stdin.txt", "xy");
        ASSERT_NE(std::freopen((folder / "stdin.txt").c_str(), "r", stdin), nullptr);
    }

    void TearDown() override {
        std::freopen("/dev/null", "r", stdin);
        ASSERT_EQ(chdir(REELSTACK_RUNTIME_DIR), 0);
    }

    // Runs the loader and returns what it printed.
    std::string Load(uint32_t* program) {
        ::testing::internal::CaptureStdout();
        *program = LoadShaderProgram();
        std::fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }

    std::string vertexText;
    std::string fragmentText;
    fs::path folder;
};

TEST_F(ShaderLogTest, BothFilesCompileAndLinkWithTheThreeLines) {
    WriteText(folder / "vtx.c", vertexText);
    WriteText(folder / "flg.c", fragmentText);
    uint32_t program = 0;
    std::string out = Load(&program);
    EXPECT_EQ(out, ExpectedLog(AsSource(vertexText), AsSource(fragmentText)));
    ASSERT_NE(program, 0u);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, GL_TRUE);
    GLint attached = -1;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(attached, 0) << "both shaders are detached after the link";
    EXPECT_GE(glGetUniformLocation(program, "state"), 0);
    EXPECT_EQ(std::getchar(), 'x') << "nothing was read from standard input";
    glDeleteProgram(program);
}

TEST_F(ShaderLogTest, MissingVertexFilePrintsOneLineReadsOneCharacterAndGivesZero) {
    struct Row {
        const char* what;
        bool withFragment;
    };
    const Row rows[] = {{"flg.c present", true}, {"neither file", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove(folder / "flg.c");
        if (row.withFragment) WriteText(folder / "flg.c", fragmentText);
        ASSERT_NE(std::freopen((folder / "stdin.txt").c_str(), "r", stdin), nullptr);
        uint32_t program = 1;
        std::string out = Load(&program);
        EXPECT_EQ(out, kNoVertexLine);
        EXPECT_EQ(program, 0u);
        EXPECT_EQ(std::getchar(), 'y') << "exactly one character is read";
    }
}

TEST_F(ShaderLogTest, MissingFragmentFileCompilesAnEmptySourceAndStillGivesAProgram) {
    WriteText(folder / "vtx.c", vertexText);
    uint32_t program = 0;
    std::string out = Load(&program);
    EXPECT_EQ(out, ExpectedLog(AsSource(vertexText), ""));
    EXPECT_EQ(out.rfind("Compiling shader : vtx.c\n", 0), 0u);
    EXPECT_NE(out.find("Compiling shader : flg.c\n"), std::string::npos);
    EXPECT_NE(out.find("Linking program\n"), std::string::npos);
    ASSERT_NE(program, 0u);
    EXPECT_TRUE(glIsProgram(program));
    EXPECT_EQ(std::getchar(), 'x');
    glDeleteProgram(program);
}

TEST_F(ShaderLogTest, SourceIsEveryLineAfterALineFeed) {
    // A broken vertex file with CR LF line ends and no final line end: the
    // driver's line numbers in the log count the leading line feed.
    const std::string broken =
        "#version 110\r\nvoid main()\r\n{\r\n    gl_Position = vec4(0.0) +;\r\n}";
    WriteText(folder / "vtx.c", broken);
    WriteText(folder / "flg.c", fragmentText);
    uint32_t program = 0;
    std::string out = Load(&program);
    const std::string expectedSource =
        "\n#version 110\nvoid main()\n{\n    gl_Position = vec4(0.0) +;\n}";
    EXPECT_EQ(out, ExpectedLog(expectedSource, AsSource(fragmentText)));
    EXPECT_NE(program, 0u) << "a failed compile still gives the program";
    GLint linked = GL_TRUE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, GL_FALSE);
    glDeleteProgram(program);

    // An empty file gives an empty source.
    WriteText(folder / "vtx.c", "");
    out = Load(&program);
    EXPECT_EQ(out, ExpectedLog("", AsSource(fragmentText)));
    glDeleteProgram(program);
}

}  // namespace
