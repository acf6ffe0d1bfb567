#include "sharedstate.h"

SharedState sharedState;
