// Run-time error descriptions and the mapping of caught exceptions to error numbers.
#include "common/ErrorTrap.h"

#include <new>

namespace bridge::common {

std::int32_t CodeOf(std::exception_ptr failure) noexcept {
  if (!failure) {
    return static_cast<std::int32_t>(RunError::Internal);
  }
  try {
    std::rethrow_exception(failure);
  } catch (const Failure& caught) {
    return caught.Code();
  } catch (const std::bad_alloc&) {
    return static_cast<std::int32_t>(RunError::OutOfMemory);
  } catch (...) {
    return static_cast<std::int32_t>(RunError::Internal);
  }
}

}  // namespace bridge::common
