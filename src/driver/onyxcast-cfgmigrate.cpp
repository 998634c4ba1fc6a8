#include "driver/cfgmigrate.h"
#include "driver/program.h"

int main(int argc, char **argv)
{
    program_exit(cfgmigrate_main(argc, argv));
}
