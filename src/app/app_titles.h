// The titles by which the running program is known to the windowing system and to a second copy.
#pragma once

// The caption by which a second copy finds the running one, and the application title (the
// caption of start-up's own boxes).
extern const char kFrameCaption[];
extern const char kAppTitle[];
