#include "app/batch_rows.h"

#include "platform/posix_file.h"

namespace sonivate {

OpenedSource::~OpenedSource() { platform::CloseFile(mFd); }

}  // namespace sonivate
