#include "app/shell.h"

// The framework of old captioned its frame with the document title and the application title;
// a second copy still looks for exactly this text.
const char kFrameCaption[] = "Untitled - RM_HUB";
const char kAppTitle[] = "RM_HUB";
