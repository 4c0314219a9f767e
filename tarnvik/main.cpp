#include "tarnvik/console_main.h"

int main(int argc, char** argv)
{
    return tarnvik_main(argc, argv);
}
