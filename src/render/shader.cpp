// The shader program, built from "vtx.c" and "flg.c" in the working
// directory, with a short log on standard output.
#include <GL/glew.h>

#include <cstdio>
#include <string>
#include <vector>

#include "render/render.h"

namespace {

// Each line without its line end, behind a line feed: the source starts
// with "\n" and has none after its last line.
bool ReadShaderSource(const char* name, std::string* source) {
    std::FILE* file = std::fopen(name, "r");
    if (!file) return false;
    std::string line;
    int c;
    bool inLine = false;
    while ((c = std::fgetc(file)) != EOF) {
        if (!inLine) {
            source->push_back('\n');
            inLine = true;
        }
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            source->append(line);
            line.clear();
            inLine = false;
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    if (inLine) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        source->append(line);
    }
    std::fclose(file);
    return true;
}

// Prints an object's info log when the driver gave one. The status is read
// but changes nothing: a failed build shows only in the log.
void PrintInfoLog(GLuint object, GLenum statusName, void (*getIv)(GLuint, GLenum, GLint*),
                  void (*getLog)(GLuint, GLsizei, GLsizei*, GLchar*)) {
    GLint status = GL_FALSE;
    GLint logLength = 0;
    getIv(object, statusName, &status);
    getIv(object, GL_INFO_LOG_LENGTH, &logLength);
    if (logLength > 0) {
        std::vector<char> log(static_cast<size_t>(logLength) + 1, '\0');
        getLog(object, logLength, nullptr, log.data());
        std::printf("%s\n", log.data());
    }
}

void CompileShader(GLuint shader, const char* name, const std::string& source) {
    std::printf("Compiling shader : %s\n", name);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    PrintInfoLog(shader, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog);
}

}  // namespace

uint32_t LoadShaderProgram() {
    GLuint vertexShader = glCreateShader(GL_VERTEX_SHADER);
    GLuint fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);

    std::string vertexSource;
    if (!ReadShaderSource("vtx.c", &vertexSource)) {
        std::printf(
            "Impossible to open %s. Are you in the right directory ? Don't forget to read the FAQ "
            "!\n",
            "vtx.c");
        std::fflush(stdout);
        std::getchar();
        return 0;
    }
    // A missing fragment source compiles as an empty one; its log tells.
    std::string fragmentSource;
    ReadShaderSource("flg.c", &fragmentSource);

    CompileShader(vertexShader, "vtx.c", vertexSource);
    CompileShader(fragmentShader, "flg.c", fragmentSource);

    std::printf("Linking program\n");
    GLuint program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    PrintInfoLog(program, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog);
    std::fflush(stdout);

    glDetachShader(program, vertexShader);
    glDetachShader(program, fragmentShader);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    return program;
}
