// glnull.cpp -- null platform: records GL/GLUT calls instead of drawing
//
// The tests and the headless renderer link this in place of libGL and
// libglut, and of app/winprop.cpp, so that the program's own code runs
// unchanged without a display.
#include "app/glnull.h"

#include <GL/freeglut.h>

#include "app/winprop.h"

std::vector<gl_call> gl_calls;

std::vector<std::string> gl_call_names()
{
    std::vector<std::string> names;
    for (const gl_call &c : gl_calls)
        names.push_back(c.name);
    return names;
}

static void record(const char *name, std::vector<long> args = {}, const void *ptr = nullptr)
{
    gl_calls.push_back({name, std::move(args), ptr, {}});
}

template <class F>
static const void *as_ptr(F f)
{
    return reinterpret_cast<const void *>(f);
}

void glutInit(int *argc, char **argv) { record("glutInit", {*argc}, argv); }
void glutInitWindowSize(int w, int h) { record("glutInitWindowSize", {w, h}); }
void glutInitWindowPosition(int x, int y) { record("glutInitWindowPosition", {x, y}); }
void glutInitDisplayMode(unsigned int mode) { record("glutInitDisplayMode", {long(mode)}); }
int glutCreateWindow(const char *title)
{
    record("glutCreateWindow", {}, title);
    gl_calls.back().text = title;
    return 1;
}
void glutDisplayFunc(void (*f)()) { record("glutDisplayFunc", {}, as_ptr(f)); }
void glutKeyboardFunc(void (*f)(unsigned char, int, int)) { record("glutKeyboardFunc", {}, as_ptr(f)); }
void glutMouseFunc(void (*f)(int, int, int, int)) { record("glutMouseFunc", {}, as_ptr(f)); }
void glutMotionFunc(void (*f)(int, int)) { record("glutMotionFunc", {}, as_ptr(f)); }
void glutIdleFunc(void (*f)()) { record("glutIdleFunc", {}, as_ptr(f)); }
void glutMainLoop() { record("glutMainLoop"); }
void glutPostRedisplay() { record("glutPostRedisplay"); }
void glutSwapBuffers() { record("glutSwapBuffers"); }

void glDrawPixels(GLsizei w, GLsizei h, GLenum format, GLenum type, const GLvoid *pixels)
{
    record("glDrawPixels", {w, h, long(format), long(type)}, pixels);
}
void glBlendFunc(GLenum sfactor, GLenum dfactor) { record("glBlendFunc", {long(sfactor), long(dfactor)}); }
void glEnable(GLenum cap) { record("glEnable", {long(cap)}); }
void glDisable(GLenum cap) { record("glDisable", {long(cap)}); }

// The property's name is kept as the pointer, its text as the text.
void set_window_text(const char *name, const std::string &text)
{
    record("set_window_text", {}, name);
    gl_calls.back().text = text;
}
