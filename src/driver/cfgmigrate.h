// The migration tool: its command line and its run.
#pragma once

// The whole run of the tool; returns the exit status.
int cfgmigrate_main(int argc, char **argv);
