// References to nodes, and how the last one frees a node.
//
// A node made on its own is deleted with its elements. A node of a document
// gives its memory back to the document's arena: the root of a tree still
// as it was read gives back the whole tree's holds at once, with no walk
// (see DocumentArena::SealTree); any other walks what it holds, giving back
// at once the holds of the texts and unshared nodes of its own document.
#include "core/nodes.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include <comsvc/runtime_error.h>

namespace comsvc {

namespace {

template <typename Node>
size_t DestroyInArena(Node& node) noexcept;

// A node of `arena` that nothing else refers to goes with its holder;
// returns the holds it gives back, 0 for any other node.
template <typename Interface>
size_t DestroyIfUnshared(Interface* node, const DocumentArena* arena) noexcept {
  if (node == nullptr) return 0;
  auto& inner = NodeOf(*node);
  if (inner.Arena() != arena || inner.References() != 1) return 0;
  return DestroyInArena(inner);
}

// Lets go of a text of `arena` without giving back its hold, which the
// caller counts, or else destroys it; returns the holds let go of.
size_t LetGoOrDestroy(Text& text, const DocumentArena* arena) noexcept {
  if (TextParts::ArenaOf(text) == arena) return 1;
  std::destroy_at(&text);
  return 0;
}

size_t LetGoOrDestroy(Value& value, const DocumentArena* arena) noexcept {
  size_t holds = 0;
  switch (value.Kind()) {
    case ValueKind::kString:
      if (const Text* text = ValueParts::LongText(value)) holds = TextParts::ArenaOf(*text) == arena;
      break;
    case ValueKind::kObject: holds = DestroyIfUnshared(value.AsObject().get(), arena); break;
    case ValueKind::kArray: holds = DestroyIfUnshared(value.AsArray().get(), arena); break;
    default: return 0;  // nothing to destroy
  }
  if (holds == 0) std::destroy_at(&value);
  return holds;
}

size_t LetGoOrDestroy(Dictionary::Member& member, const DocumentArena* arena) noexcept {
  return LetGoOrDestroy(member.first, arena) + LetGoOrDestroy(member.second, arena);
}

// Destroys a node of a document whose last reference went, and returns the
// holds on the arena that it and what went with it had.
template <typename Node>
size_t DestroyInArena(Node& node) noexcept {
  const DocumentArena* const arena = node.Arena();
  size_t holds = 1;
  for (auto& element : node.ElementsToFree()) holds += LetGoOrDestroy(element, arena);
  node.ForgetElements();
  std::destroy_at(&node);
  return holds;
}

#ifdef COMSVC_CHECK_READ_TREES
// The holds that the tree under `node` has on `arena` if it is as it was
// read: every node and long text in it lies in the arena and holds it once,
// no node has another reference or an index, no elements have moved out of
// the arena. SIZE_MAX for a tree that is not.
template <typename Node>
size_t HoldsAsRead(const Node& node, const DocumentArena* arena, size_t references) noexcept;

size_t HoldsAsRead(const Text& text, const DocumentArena* arena) noexcept {
  if (text.empty()) return 0;
  return TextParts::ArenaOf(text) == arena ? 1 : SIZE_MAX;
}

size_t HoldsAsRead(const Value& value, const DocumentArena* arena) noexcept {
  if (const Text* text = ValueParts::LongText(value)) return HoldsAsRead(*text, arena);
  if (value.IsObject() && value.AsObject()) return HoldsAsRead(NodeOf(*value.AsObject()), arena, 1);
  if (value.IsArray() && value.AsArray()) return HoldsAsRead(NodeOf(*value.AsArray()), arena, 1);
  return 0;
}

size_t HoldsAsRead(const Dictionary::Member& member, const DocumentArena* arena) noexcept {
  const size_t key = HoldsAsRead(member.first, arena), value = HoldsAsRead(member.second, arena);
  return key == SIZE_MAX || value == SIZE_MAX ? SIZE_MAX : key + value;
}

template <typename Node>
size_t HoldsAsRead(const Node& node, const DocumentArena* arena, size_t references) noexcept {
  if (node.Arena() != arena || node.References() != references || !node.ElementsLent()) return SIZE_MAX;
  if constexpr (std::is_same_v<Node, DictionaryNode>) {
    if (node.HasIndex()) return SIZE_MAX;
  }
  size_t holds = 1;
  for (const auto& element : node.Elements()) {
    const size_t more = HoldsAsRead(element, arena);
    if (more == SIZE_MAX) return SIZE_MAX;
    holds += more;
  }
  return holds;
}
#endif

// Every change to a read tree reaches its document (see NodeCore); a tree
// freed in one step that is not as read would leak what was put in it, or
// free what was taken out.
template <typename Node>
void CheckAsRead([[maybe_unused]] const Node& root, [[maybe_unused]] size_t holds) noexcept {
#ifdef COMSVC_CHECK_READ_TREES
  if (HoldsAsRead(root, root.Arena(), 0) == holds) return;
  std::fputs("comsvc: a read tree was changed without its document hearing of it\n", stderr);
  std::abort();
#endif
}

// A node made on its own, with the room its tail needs.
template <typename Node>
Node* NewNode() {
  return std::construct_at(static_cast<Node*>(HeapAllocate(Node::kOwnBytes)));
}

}  // namespace

template <typename T>
void Ref<T>::Retain(T* node) noexcept {
  NodeOf(*node).AddReference();
}

template <typename T>
void Ref<T>::Release(T* node) noexcept {
  auto& inner = NodeOf(*node);
  if (!inner.DropReference()) return;
  DocumentArena* const arena = inner.Arena();
  if (arena == nullptr) {
    std::destroy_at(&inner);
    ::operator delete(&inner);
    return;
  }
  if (const size_t holds = arena->HoldsOfUnchangedTree()) {
    CheckAsRead(inner, holds);
    return arena->Release(holds);
  }
  arena->Release(DestroyInArena(inner));
}

template <typename T>
size_t Ref<T>::References(const T* node) noexcept {
  return NodeOf(*node).References();
}

template class Ref<Dictionary>;
template class Ref<Collection>;

template <>
Ref<Dictionary> MakeRef<Dictionary>() {
  return RefParts<Dictionary>::Adopt(NewNode<DictionaryNode>());
}

template <>
Ref<Collection> MakeRef<Collection>() {
  return RefParts<Collection>::Adopt(NewNode<CollectionNode>());
}

}  // namespace comsvc
