#include "uSettings.h"

TSettings Settings;
