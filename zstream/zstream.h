#pragma once
// Deflate compression over zlib: one-shot functions and streams that sit on
// another host stream.

#include "zstream/compression_stream.h"
#include "zstream/decompression_stream.h"
#include "zstream/errors.h"
#include "zstream/level.h"
#include "zstream/one_shot.h"
