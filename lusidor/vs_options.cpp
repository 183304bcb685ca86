// The camera window's shared flags.
#include "vs_options.h"

bool CameraBusy = false;
bool CameraStop = false;
