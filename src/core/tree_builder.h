// The one way a reader makes the texts and nodes of a document: in an arena
// of the document's own, in the order the tree is built (see
// document_arena.h), each holding the arena once.
#pragma once

#include <cstring>
#include <memory>
#include <span>
#include <string_view>

#include <comsvc/runtime_error.h>
#include <comsvc/value.h>

#include "core/document_arena.h"
#include "core/nodes.h"

namespace comsvc {

class TreeBuilder {
 public:
  TreeBuilder() = default;
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;

  // A string value: kept in the value when short, else a text in the arena.
  Value String(std::u16string_view text) {
    if (text.size() <= ValueParts::kShortCapacity) return ValueParts::ShortText(text);
    return Value(NewText(text));
  }

  // A copy of `text` in the arena.
  Text NewText(std::u16string_view text) {
    if (text.empty()) return Text();
    // Texts, like the containers' counts, stay within 31 bits.
    if (text.size() > INT32_MAX) Raise(ErrorNumber::kOutOfMemory);
    using Block = TextParts::Block;
    auto* block = static_cast<Block*>(arena_->Allocate(sizeof(Block) + text.size() * sizeof(char16_t), alignof(Block)));
    *block = {static_cast<uint32_t>(text.size()), 0};
    std::memcpy(TextParts::CharactersOf(block), text.data(), text.size() * sizeof(char16_t));
    holds_.Take();
    return TextParts::Adopt(block);
  }

  // Another holder of a text made by NewText (or of the empty text).
  Text Share(const Text& text) noexcept {
    TextParts::Block* const block = TextParts::BlockOf(text);
    if (block == nullptr) return Text();
    holds_.Take();
    return TextParts::Adopt(block);
  }

  // A dictionary that takes `members`, whose keys the caller has found
  // distinct, into its tail. Both makers relocate the elements (see
  // NodeCore): once they return, the caller forgets the elements without
  // destroying them; if they raise, the elements are still the caller's.
  Ref<Dictionary> MakeDictionary(std::span<Dictionary::Member> members) { return Make<DictionaryNode>(members); }
  Ref<Collection> MakeCollection(std::span<Value> items) { return Make<CollectionNode>(items); }

 private:
  template <typename Node, typename Element>
  Ref<typename Node::Interface> Make(std::span<Element> elements) {
    if (elements.size() > Node::kMaxCapacity) Raise(ErrorNumber::kOutOfMemory);
    void* room = arena_->Allocate(Node::BytesWith(elements.size()), alignof(Node));
    Node* node = std::construct_at(static_cast<Node*>(room), elements);
    holds_.Take();
    return RefParts<typename Node::Interface>::Adopt(node);
  }

  ArenaHold arena_ = DocumentArena::Create();
  // The holds of the nodes and texts made; it goes before the arena's own.
  ArenaHoldCredit holds_{*arena_};
};

// Seals the tree under `root` in its document's arena (see
// DocumentArena::SealTree), once the builder and everything else that held
// the arena during the read are gone.
inline void SealTree(const Value& root) noexcept {
  DocumentArena* arena = nullptr;
  if (root.IsObject() && root.AsObject()) arena = NodeOf(*root.AsObject()).Arena();
  if (root.IsArray() && root.AsArray()) arena = NodeOf(*root.AsArray()).Arena();
  if (arena != nullptr) arena->SealTree();
}

}  // namespace comsvc
