#include "driver/cfgcheck.h"
#include "driver/program.h"

int main(int argc, char **argv)
{
    program_exit(cfgcheck_main(argc, argv));
}
