// The engine's probe face for the front ends: ProbeMedia and its MediaFacts, and the texts the file list
// and `quarnix-cli probe` show for them.
#pragma once

#include "engine/probe/MediaProbe.h"
#include "engine/probe/MediaText.h"
#include "engine/probe/PreviewPicture.h"
