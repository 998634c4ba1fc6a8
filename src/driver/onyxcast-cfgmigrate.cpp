#include "driver/cfgmigrate.h"

int main(int argc, char **argv)
{
    return cfgmigrate_main(argc, argv);
}
