#pragma once

namespace cg {
} // namespace cg
