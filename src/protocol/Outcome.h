#pragma once
// A value, or the text that says why there is none. New code returns its
// failures this way, up to the place that reports them to the operator:
//
//     Outcome<ParameterSheet> sheet = readSheet(path);
//     if (!sheet)
//         return fail(sheet.problem());
//
// Outcome<void> is the same for an operation that gives nothing back.

#include <QString>

#include <optional>
#include <utility>

namespace ktv {

template <typename T> class [[nodiscard]] Outcome
{
  public:
    Outcome(T value) : value_(std::move(value)) {} // NOLINT: a value converts
    static Outcome failure(QString problem)
    {
        Outcome outcome;
        outcome.problem_ = std::move(problem);
        return outcome;
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return *value_; }
    T &value() { return *value_; }
    const T &operator*() const { return *value_; }
    const T *operator->() const { return &*value_; }
    // Empty when there is a value.
    const QString &problem() const { return problem_; }

  private:
    Outcome() = default;
    std::optional<T> value_;
    QString problem_;
};

template <> class [[nodiscard]] Outcome<void>
{
  public:
    Outcome() = default;
    static Outcome failure(QString problem)
    {
        Outcome outcome;
        outcome.failed_ = true;
        outcome.problem_ = std::move(problem);
        return outcome;
    }
    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const QString &problem() const { return problem_; }

  private:
    bool failed_ = false;
    QString problem_;
};

} // namespace ktv
