#pragma once
// The app draws pictures of the image framework with the toolkit's renderer.

#include "platform/ui/PictureRendering.h"
