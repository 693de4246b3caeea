#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace varno {

template<typename Signature>
class FunctionRef;

// A callable borrowed for the length of one call: a pointer to the caller's
// callable and a function that invokes it. Unlike std::function it never
// allocates, whatever the lambda captures, which matters for callbacks made
// once per element of a document. It must not outlive the callable it was
// made from, so it is meant for parameters only.
template<typename R, typename... Args>
class FunctionRef<R(Args...)> {
public:
    template<typename F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F&, Args...>)
    FunctionRef(F&& callable) noexcept
        : m_callable(const_cast<void*>(static_cast<const void*>(std::addressof(callable))))
        , m_invoke([](void* callable, Args... args) -> R {
            return std::invoke(*static_cast<std::remove_reference_t<F>*>(callable), std::forward<Args>(args)...);
        })
    {
    }

    R operator()(Args... args) const { return m_invoke(m_callable, std::forward<Args>(args)...); }

private:
    void* m_callable;
    R (*m_invoke)(void*, Args...);
};

} // namespace varno
