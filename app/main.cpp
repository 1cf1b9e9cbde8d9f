// main.cpp -- the explorer's entry point
#include "app/startup.h"

int main(int argc, char **argv)
{
    startup(argc, argv);  // ends in the GLUT main loop, which never returns
    return 0;
}
