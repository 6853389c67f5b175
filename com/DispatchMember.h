// One method of a dual interface as IDispatch serves it: name, DISPID,
// parameter VARTYPEs in declaration order, the [out, retval] VARTYPE, the
// parameter names, and an invoker that calls the interface's own vtable
// method with coerced arguments.
//
// Bind<&IRecordSet::GetRecordItem>(OLESTR("GetRecordItem"), DISPID_RS_GetRecordItem,
//                                  OLESTR("Index"), OLESTR("RecordItem"), OLESTR("Succeeded"))
// derives the types from the method's signature: [in] BSTR, LONG and
// IDispatch* parameters, and an optional last LONG*, VARIANT_BOOL* or BSTR*
// that is the retval. One name per parameter, retval included, is required.
#pragma once

#include <cstddef>
#include <tuple>
#include <utility>

#include "com/Platform.h"

struct DispatchMember {
    static constexpr UINT kMaxParams = 8;

    // args: the coerced [in] arguments in declaration order, each of the
    // declared VARTYPE. retval: VT_EMPTY on entry; the invoker stores the
    // [out, retval] value in the field of the declared result type.
    using Invoker = HRESULT (*)(IDispatch* self, const VARIANT* const* args, VARIANT* retval);

    const OLECHAR* name;
    DISPID id;
    UINT paramCount;                    // [in] parameters only
    VARTYPE paramTypes[kMaxParams];     // VT_BSTR, VT_I4 or VT_DISPATCH
    VARTYPE resultType;                 // VT_EMPTY (none), VT_I4, VT_BOOL or VT_BSTR
    const OLECHAR* paramNames[kMaxParams + 1];  // retval last
    Invoker invoke;

    template <auto Method, class... Names>
    static constexpr DispatchMember Bind(const OLECHAR* name, DISPID id, Names... names) noexcept;

private:
    template <class T>
    struct In;
    template <class T>
    struct Out {
        static constexpr bool kIsRetval = false;
    };
    template <class F>
    struct Signature;
};

template <>
struct DispatchMember::In<BSTR> {
    static constexpr VARTYPE kType = VT_BSTR;
    static BSTR Get(const VARIANT* v) noexcept { return v->bstrVal; }
};
template <>
struct DispatchMember::In<LONG> {
    static constexpr VARTYPE kType = VT_I4;
    static LONG Get(const VARIANT* v) noexcept { return v->lVal; }
};
template <>
struct DispatchMember::In<IDispatch*> {
    static constexpr VARTYPE kType = VT_DISPATCH;
    static IDispatch* Get(const VARIANT* v) noexcept { return v->pdispVal; }
};
template <>
struct DispatchMember::Out<LONG*> {
    static constexpr bool kIsRetval = true;
    static constexpr VARTYPE kType = VT_I4;
    static LONG* Slot(VARIANT* v) noexcept { return &v->lVal; }
};
template <>
struct DispatchMember::Out<VARIANT_BOOL*> {
    static constexpr bool kIsRetval = true;
    static constexpr VARTYPE kType = VT_BOOL;
    static VARIANT_BOOL* Slot(VARIANT* v) noexcept { return &v->boolVal; }
};
template <>
struct DispatchMember::Out<BSTR*> {
    static constexpr bool kIsRetval = true;
    static constexpr VARTYPE kType = VT_BSTR;
    static BSTR* Slot(VARIANT* v) noexcept { return &v->bstrVal; }
};

template <class I, class... A>
struct DispatchMember::Signature<HRESULT (STDMETHODCALLTYPE I::*)(A...)> {
    using Interface = I;
    using Args = std::tuple<A...>;
    static constexpr std::size_t kAll = sizeof...(A);
    static constexpr bool kHasRetval = [] {
        if constexpr (kAll == 0) {
            return false;
        } else {
            return Out<std::tuple_element_t<kAll - 1, Args>>::kIsRetval;
        }
    }();
    static constexpr std::size_t kIn = kHasRetval ? kAll - 1 : kAll;

    template <auto Method, std::size_t... Is>
    static HRESULT Call(IDispatch* self, const VARIANT* const* args, VARIANT* retval,
                        std::index_sequence<Is...>) noexcept {
        I* target = static_cast<I*>(self);
        if constexpr (kHasRetval) {
            using R = std::tuple_element_t<kAll - 1, Args>;
            return (target->*Method)(In<std::tuple_element_t<Is, Args>>::Get(args[Is])..., Out<R>::Slot(retval));
        } else {
            (void)args;
            (void)retval;
            return (target->*Method)(In<std::tuple_element_t<Is, Args>>::Get(args[Is])...);
        }
    }

    template <auto Method>
    static HRESULT Invoke(IDispatch* self, const VARIANT* const* args, VARIANT* retval) noexcept {
        return Call<Method>(self, args, retval, std::make_index_sequence<kIn>());
    }
};

template <auto Method, class... Names>
constexpr DispatchMember DispatchMember::Bind(const OLECHAR* name, DISPID id, Names... names) noexcept {
    using S = Signature<decltype(Method)>;
    static_assert(S::kIn <= kMaxParams, "too many parameters");
    static_assert(sizeof...(Names) == S::kAll, "one name per parameter, retval included");
    DispatchMember member{name, id, static_cast<UINT>(S::kIn), {}, VT_EMPTY, {}, &S::template Invoke<Method>};
    if constexpr (S::kIn > 0) {
        std::size_t i = 0;
        [&]<std::size_t... Is>(std::index_sequence<Is...>) {
            ((member.paramTypes[i++] = In<std::tuple_element_t<Is, typename S::Args>>::kType), ...);
        }(std::make_index_sequence<S::kIn>());
    }
    if constexpr (S::kHasRetval) {
        member.resultType = Out<std::tuple_element_t<S::kAll - 1, typename S::Args>>::kType;
    }
    std::size_t n = 0;
    ((member.paramNames[n++] = names), ...);
    return member;
}
