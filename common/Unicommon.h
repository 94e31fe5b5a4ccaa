// Unicommon: the page fetcher and the text helpers of the harvest engine, as
// one unit; each part has a header of its own.
//
// Texts are std::string values holding code-page-932 bytes (or the raw UTF-8
// bytes of a downloaded page, where only ASCII markers are looked for).
#pragma once

#include "PageFetcher.h"
#include "PageText.h"
#include "TextPrimitives.h"
#include "UserAgents.h"
