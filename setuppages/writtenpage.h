#pragma once

#include "replyrouter.h"

#include <algorithm>
#include <cstdint>
#include <span>

namespace nimbra {

// The page a station holds once it has taken a write: the write's parameters over the page
// from its second byte on, the rest as it was.
inline Page WrittenPage(Page held, std::span<const std::uint8_t> parameters)
{
    const std::size_t n = std::min(parameters.size(), held.size() - 1);
    std::copy_n(parameters.begin(), n, held.begin() + 1);
    return held;
}

} // namespace nimbra
