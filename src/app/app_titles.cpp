#include "app/app_titles.h"

// A document title and the application title, as a frame caption reads them; a second copy
// looks for exactly this text.
const char kFrameCaption[] = "Untitled - RM_HUB";
const char kAppTitle[] = "RM_HUB";
