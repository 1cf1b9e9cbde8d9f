// startup.cpp -- start-up in its fixed order, and the window set-up
#include "app/startup.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

#include "app/cmdline.h"
#include "app/logo.h"
#include "app/palette.h"
#include "app/screen.h"
#include "view/display.h"
#include "view/idle.h"
#include "view/input.h"
#include "view/publish.h"
#include "view/viewstate.h"

// The argument count arrives by value and GLUT gets the address of this
// copy, so whatever glutInit does to the count stays here. The window size
// and position are given to GLUT before it is initialised.
void graphic(int argc, char **argv)
{
    make_palette();
    glutInitWindowSize(SCREEN_W, SCREEN_H);
    glutInitWindowPosition(0, 0);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB);
    glutCreateWindow("rootzoom");
    glutDisplayFunc(paint_mandel);
    glutKeyboardFunc(key);
    glutMouseFunc(mouse);
    glutMotionFunc(mouseMotion);
    glutIdleFunc(idle);
}

// Checks the command line before anything is allocated or opened: a wrong
// count gets the usage line and status 0, as it always has; an argument that
// is not one whole number is refused with status 2. Since every GLUT option
// (-display, -geometry, ...) is no number, GLUT never sees one beside the
// five numbers, and glutInit cannot shift the numbers away from under us.
static void check_arguments(int argc, char **argv, double numbers[5])
{
    const char *argv0 = (argc > 0 && argv[0]) ? argv[0] : "";
    int bad = 0;
    switch (read_command_line(argc, argv, numbers, &bad)) {
    case COMMAND_LINE_OK:
        return;
    case COMMAND_LINE_USAGE:
        print_usage(stdout, argv0);
        std::exit(0);
    case COMMAND_LINE_NOT_A_NUMBER:
        std::fprintf(stderr, "rootzoom: not a number: '%s'\n", argv[bad]);
        print_usage(stderr, argv0);
        std::exit(2);
    }
}

void startup(int argc, char **argv)
{
    double numbers[5];  // xmax xmin ymax ymin maxiter
    check_arguments(argc, argv, numbers);
    anz = 1;
    alloc_screen();
    graphic(argc, argv);
    if (argc == 6)
        setkoords(numbers[1], numbers[0], numbers[3], numbers[2], numbers[4], 1);
    else
        resetkoords(1);
    remember_start_numbers(argc == 6 ? numbers : nullptr);
    ZX = ZY = 0;
    calc = 1;
    setsize(SCREEN_W);
    highq = 1;
    create_logo();
    calc = 1;
    glutMainLoop();
}
