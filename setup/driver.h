// The setup's spine: finds the distribution folder, walks the wizard, then
// installs in one fixed sequence, rolling back from the log on failure.
#ifndef SETUP_DRIVER_H
#define SETUP_DRIVER_H

// Runs the whole setup; returns 0 on every path.
int RunSetup();

#endif
