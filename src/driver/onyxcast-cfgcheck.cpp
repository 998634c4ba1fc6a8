#include "driver/cfgcheck.h"

int main(int argc, char **argv)
{
    return cfgcheck_main(argc, argv);
}
