#include "kvl_shel/kvl_main.h"

int main(int argc, char** argv)
{
    return karvel_main(argc, argv);
}
