#pragma once
#include <cstddef>
namespace sim {
size_t LiveHeapBlockCount();
}
