// Placeholder until this unit lands; replaced whole by its implementation.
#include "SERVICES/Library/xMutexLock.h"

Exception::Exception(std::string m, std::string f, int32_t l) : message_(std::move(m)), file_(std::move(f)), line_(l) {}
Exception::~Exception() = default;
std::string Exception::message() const { return message_; }
std::string Exception::file() const { return file_; }
int32_t Exception::line() const { return line_; }
std::string Exception::description() const { return message_; }
Mutex::Mutex(const char*) : handle_(nullptr) {}
Mutex::~Mutex() = default;
int32_t waitForMutex(platform::MutexHandle, int32_t) { return 0; }
xMutexLock::xMutexLock(platform::MutexHandle h, int32_t t) : state_(1), handle_(h), timeout_(t) {}
xMutexLock::~xMutexLock() noexcept(false) {}
int32_t xMutexLock::acquire() { return 1; }
int32_t xMutexLock::release() { return 1; }
namespace FileManagement { Mutex fileMutexesMutex(nullptr); }
