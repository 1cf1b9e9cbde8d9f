// input.cpp -- records mouse and keyboard input in the view state
#include "view/input.h"

#include <cstdlib>

#include "view/idle.h"
#include "view/viewstate.h"

enum { button_down = 0, button_up = 1 };  // GLUT's button states
enum { key_backspace = 8, key_esc = 27, key_space = 32 };

// Only the three buttons have a bit: the wheel arrives as buttons 3 and 4,
// which no release would reliably clear, so they must never look held.
// Their press still records the position and their release still asks for
// the refined frame.
void mouse(int button, int state, int x, int y)
{
    const int bit = (button >= 0 && button <= 2) ? 1 << button : 0;
    if (state == button_down) {
        buttons |= bit;
        MOUSEX = oldMOUSEX = x;
        MOUSEY = oldMOUSEY = y;
    } else if (state == button_up) {
        buttons &= ~bit;
        post_calc = 1;
    }
    if ((buttons & 7) == 7)
        std::exit(0);
    wake_idle();
}

// The flag is assigned either way, so a drag back onto the reference
// position clears it.
void mouseMotion(int x, int y)
{
    MOUSEX = x;
    MOUSEY = y;
    moved = (x != oldMOUSEX || y != oldMOUSEY) ? 1 : 0;
    wake_idle();
}

// Every key but Esc, even one without an effect of its own, leaves the
// start value at 0 in the dynamic-plane modes. Switching the debug listing
// off computes no new frame.
void key(unsigned char k, int, int)
{
    switch (k) {
    case key_backspace:
        do_julia = (do_julia + 2) % 3;
        calc = 1;
        break;
    case key_esc:
        std::exit(0);
    case key_space:
        do_julia = (do_julia + 1) % 3;
        calc = 1;
        break;
    case 'd':
        blub = !blub;
        if (blub)
            calc = 1;
        break;
    default:
        break;
    }
    if (do_julia != 0)
        ZX = ZY = 0;
    wake_idle();
}

int getxmouse() { return MOUSEX; }
int getymouse() { return MOUSEY; }
int mygetbutton() { return buttons; }

void resetmouse()
{
    oldMOUSEX = MOUSEX;
    oldMOUSEY = MOUSEY;
}
