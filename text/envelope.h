#pragma once
// The text with the page's metadata around it (Envelope in conversion.h):
// a converter of the options' kind whose text is held back until the page
// has ended, then handed on after the metadata's front matter, or inside
// one JSON object with the metadata. The whole text is held in memory, as
// large as the page allows.

#include "text/conversion.h"

#include <cstddef>
#include <memory>

namespace quillan::text {

// For makeConverter(): options.envelope is not Envelope::Text.
std::unique_ptr<Converter> makeEnvelope(const Options &options, Sink &out, std::size_t sizeHint);

} // namespace quillan::text
