#include "kvl_shel/kvl_main.h"
#include "platform/plat_output_file.h"

int main(int argc, char** argv)
{
    // Before any file is opened: a closed stream's number may go to one of the run's files.
    plat_note_standard_streams();
    return karvel_main(argc, argv);
}
