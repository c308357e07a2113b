#pragma once
// The outcome of an operation that can fail on its input: either its value
// or a failure, made of what kind of thing went wrong and the sentence the
// user is shown. Code tells failures apart by their kind, never by their
// words; the words travel unchanged to the message box or the terminal.

#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace ovrel {

// What went wrong, as far as the program acts differently on it.
enum class Fault {
  NotFound,     // nothing at the path
  NotRegular,   // a folder, pipe, device, socket or link where a file must be
  TooLarge,     // more bytes than are read, or more than the memory takes
  CannotRead,   // the system refused to open or read (its reason is in the text)
  CannotWrite,  // the system refused to write (its reason is in the text)
  Unsupported,  // a kind of file the operation does not take (by its extension)
  Syntax,       // the text breaks the rules of its format
  OutOfRange,   // a number outside the range of its field
  TooMany,      // more segments than a session holds
  Empty,        // nothing to take: a session without segments, a list without entries
  Changed,      // the file no longer is what it was when it was listed
  NotLibrary,   // the bytes are no sound library
};

struct Failure {
  Fault Kind = Fault::CannotRead;
  std::string Text;  // the message as the user reads it
};

template <class T>
class [[nodiscard]] Result {
  static_assert(!std::is_same_v<std::remove_cv_t<T>, Failure>,
                "a result of a failure is a failure");

 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  explicit operator bool() const { return state_.index() == 0; }

  // The value; asking a failed result for it is the caller's fault and throws.
  T& Value() & { return Checked(); }
  const T& Value() const& { return const_cast<Result*>(this)->Checked(); }
  T&& Value() && { return std::move(Checked()); }
  T& operator*() & { return Value(); }
  const T& operator*() const& { return Value(); }
  T&& operator*() && { return std::move(*this).Value(); }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }

  // The failure, to be handed on as it is (a caller's fault on success).
  const Failure& Failed() const {
    if (*this) throw std::logic_error("a successful result has no failure");
    return std::get<1>(state_);
  }
  Fault Kind() const { return Failed().Kind; }
  // The message, empty on success.
  const std::string& Error() const {
    static const std::string none;
    return *this ? none : std::get<1>(state_).Text;
  }

 private:
  T& Checked() {
    if (!*this) throw std::logic_error("a failed result has no value: " + Error());
    return std::get<0>(state_);
  }

  std::variant<T, Failure> state_;
};

// The outcome of an operation that gives nothing but success.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure)), failed_(true) {}

  explicit operator bool() const { return !failed_; }

  const Failure& Failed() const {
    if (!failed_) throw std::logic_error("a successful result has no failure");
    return failure_;
  }
  Fault Kind() const { return Failed().Kind; }
  const std::string& Error() const { return failure_.Text; }

 private:
  Failure failure_;
  bool failed_ = false;
};

}  // namespace ovrel
