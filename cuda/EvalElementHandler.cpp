#include "cuda/EvalElementHandler.h"

#include <array>
#include <mutex>

namespace vela::cuda {

namespace {

template <class E>
std::array<typename OpHandlerTable<E>::Handler, ParserUtils::kNumOps>& handlerArray() {
  static std::array<typename OpHandlerTable<E>::Handler, ParserUtils::kNumOps> handlers{};
  return handlers;
}

struct RegistrationErrors {
  std::mutex mutex;
  std::vector<std::string> messages;
};

RegistrationErrors& registrationErrors() {
  static RegistrationErrors errors;
  return errors;
}

std::string describe(TypedRpnOp code) {
  return "code " + std::to_string(code) + " (" + ParserUtils::get_trpn_op_name(code) + ")";
}

// Routes a code its family member received to the registered handler.
template <class E>
inline void runRegistered(E& e) {
  if (auto handler = OpHandlerTable<E>::find(e.element().op))
    return handler(e);
  e.unhandledElement();
}

} // namespace

template <class E>
typename OpHandlerTable<E>::Handler OpHandlerTable<E>::find(TypedRpnOp code) noexcept {
  return code >= 0 && code < ParserUtils::kNumOps ? handlerArray<E>()[static_cast<std::size_t>(code)]
                                                  : nullptr;
}

template <class E>
void OpHandlerTable<E>::install(OpFamily family, TypedRpnOp code, Handler handler) {
  if (code < 0 || code >= ParserUtils::kNumOps) {
    recordOpRegistrationError("code " + std::to_string(code) + ": outside the op code space");
    return;
  }
  const OpFamily routed = ParserUtils::opFamily(code);
  if (routed != family) {
    recordOpRegistrationError(describe(code) + ": registered by " + ParserUtils::opFamilyName(family) +
                              ", catalogue says " + ParserUtils::opFamilyName(routed));
    return;
  }
  auto& slot = handlerArray<E>()[static_cast<std::size_t>(code)];
  if (slot != nullptr) {
    recordOpRegistrationError(describe(code) + ": registered twice");
    return;
  }
  slot = handler;
}

template <class E>
typename OpHandlerTable<E>::Handler OpHandlerTable<E>::replace(TypedRpnOp code, Handler handler) noexcept {
  if (code < 0 || code >= ParserUtils::kNumOps)
    return nullptr;
  return std::exchange(handlerArray<E>()[static_cast<std::size_t>(code)], handler);
}

std::vector<std::string> opRegistrationErrors() {
  RegistrationErrors& errors = registrationErrors();
  std::lock_guard lock(errors.mutex);
  return errors.messages;
}

void recordOpRegistrationError(std::string message) {
  RegistrationErrors& errors = registrationErrors();
  std::lock_guard lock(errors.mutex);
  errors.messages.push_back(std::move(message));
}

bool registerOps(OpFamily family, std::span<const OpRegistration> ops) {
  for (const OpRegistration& r : ops) {
    if (r.install != nullptr)
      r.install(family, r.code);
    else
      recordOpRegistrationError(describe(r.code) + ": no handler for its result type");
  }
  return true;
}

bool registerOps(OpFamily family, std::initializer_list<OpRegistration> ops) {
  return registerOps(family, std::span<const OpRegistration>(ops.begin(), ops.size()));
}

// The handler table holds only codes installed by their own catalogue family, so one lookup routes
// an element exactly as going through its family member would; the family is read only for the codes
// without a handler, to tell a no-op marker from an unhandled code.
template <class E>
void EvalElementHandler<E>::evalElement(E& e) {
  const TypedRpnOp code = e.element().op;
  if (auto handler = OpHandlerTable<E>::find(code)) [[likely]]
    return handler(e);
  if (ParserUtils::opFamily(code) == OpFamily::NoOp)
    e.noOpElement();
  e.unhandledElement();
}

// The family members share one lookup: the table holds only codes of the member's own family (checked
// at registration), and routing sends a member nothing else.
template <class E>
void EvalElementHandler<E>::evalElementValue(E& e) {
  runRegistered(e);
}
template <class E>
void EvalElementHandler<E>::evalElementCompare(E& e) {
  runRegistered(e);
}
template <class E>
void EvalElementHandler<E>::evalElementMath(E& e) {
  runRegistered(e);
}
template <class E>
void EvalElementHandler<E>::evalElementNull(E& e) {
  runRegistered(e);
}
template <class E>
void EvalElementHandler<E>::evalElementChar(E& e) {
  runRegistered(e);
}
template <class E>
void EvalElementHandler<E>::evalElementChar2(E& e) {
  runRegistered(e);
}
template <class E>
void EvalElementHandler<E>::evalElementString(E& e) {
  runRegistered(e);
}
template <class E>
void EvalElementHandler<E>::evalElementDateTime(E& e) {
  runRegistered(e);
}
template <class E>
void EvalElementHandler<E>::evalElementGeo(E& e) {
  runRegistered(e);
}

template class OpHandlerTable<TypedRpnVectorEvaluator>;
template struct EvalElementHandler<TypedRpnVectorEvaluator>;
template class OpHandlerTable<TypedRpnValueEvaluator>;
template struct EvalElementHandler<TypedRpnValueEvaluator>;

} // namespace vela::cuda
