#pragma once
// Array types that the font core and its callers pass around.
#include <cstdint>
#include <string>
#include <vector>

using CStringArray = std::vector<std::wstring>;
using CWordArray = std::vector<uint16_t>;
using CDWordArray = std::vector<uint32_t>;
