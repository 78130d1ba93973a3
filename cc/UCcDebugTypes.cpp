#include "UCcDebugTypes.h"

#include <llvm/BinaryFormat/Dwarf.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/DebugInfoMetadata.h>

using namespace llvm;

namespace {

// The size in bytes; a typedef or qualifier that carries none has its base type's.
uint64_t SizeOf(const DIType* type) {
    for (int depth = 0; type && depth < 64; ++depth) {
        if (type->getSizeInBits()) return type->getSizeInBits() / 8;
        auto* derived = dyn_cast<DIDerivedType>(type);
        if (!derived || derived->getTag() == dwarf::DW_TAG_pointer_type) break;
        type = derived->getBaseType();
    }
    return type && isa<DIDerivedType>(type) && type->getTag() == dwarf::DW_TAG_pointer_type ? 8 : 0;
}

std::string FunctionName(const DISubroutineType* type, const std::string& inner) {
    std::string name;
    DITypeRefArray types = type->getTypeArray();
    name = (types.size() > 0 && types[0] ? TCcDebugTypes::Describe(types[0]).Name : std::string("void")) +
           " " + inner + "(";
    for (unsigned i = 1; i < types.size(); ++i)
        name +=
            (i > 1 ? ", " : "") + (types[i] ? TCcDebugTypes::Describe(types[i]).Name : std::string("..."));
    return name + (types.size() <= 1 ? "void)" : ")");
}

std::vector<int64_t> Counts(const DICompositeType* array) {
    std::vector<int64_t> counts;
    for (const DINode* element : array->getElements())
        if (auto* range = dyn_cast<DISubrange>(element)) {
            auto* count = range->getCount().dyn_cast<ConstantInt*>();
            counts.push_back(count ? count->getSExtValue() : -1);
        }
    return counts;
}

std::string ArraySuffix(const std::vector<int64_t>& counts, size_t from) {
    std::string text;
    for (size_t i = from; i < counts.size(); ++i)
        text += counts[i] >= 0 ? "[" + std::to_string(counts[i]) + "]" : "[]";
    return text;
}

std::string TagName(const DICompositeType* composite, const char* keyword) {
    const std::string name = composite->getName().str();
    return std::string(keyword) + " " + (name.empty() ? "{...}" : name);
}

} // namespace

TDebugInfo::TType TCcDebugTypes::Describe(const DIType* type) {
    if (!type) return {"void", "aggregate", 0};
    const uint64_t size = SizeOf(type);
    if (auto* basic = dyn_cast<DIBasicType>(type)) {
        std::string encoding = "aggregate"; // floating point never gets here
        switch (basic->getEncoding()) {
        case dwarf::DW_ATE_signed:
            encoding = "signed";
            break;
        case dwarf::DW_ATE_unsigned:
            encoding = "unsigned";
            break;
        case dwarf::DW_ATE_boolean:
            encoding = "bool";
            break;
        case dwarf::DW_ATE_signed_char:
        case dwarf::DW_ATE_unsigned_char:
            encoding = "char";
            break;
        default:
            break;
        }
        return {basic->getName().str(), encoding, size};
    }
    if (auto* derived = dyn_cast<DIDerivedType>(type)) {
        const DIType* baseType = derived->getBaseType();
        switch (derived->getTag()) {
        case dwarf::DW_TAG_pointer_type:
            if (auto* function = dyn_cast_or_null<DISubroutineType>(baseType))
                return {FunctionName(function, "(*)"), "pointer", 8};
            return {Describe(baseType).Name + " *", "pointer", 8};
        case dwarf::DW_TAG_typedef: {
            const TDebugInfo::TType base = Describe(baseType);
            return {derived->getName().str(), base.Encoding, base.Size};
        }
        case dwarf::DW_TAG_const_type:
        case dwarf::DW_TAG_volatile_type: {
            const TDebugInfo::TType base = Describe(baseType);
            const char* qualifier = derived->getTag() == dwarf::DW_TAG_const_type ? "const " : "volatile ";
            return {qualifier + base.Name, base.Encoding, base.Size};
        }
        default: // restrict, atomic, members
            return Describe(baseType);
        }
    }
    if (auto* composite = dyn_cast<DICompositeType>(type)) {
        switch (composite->getTag()) {
        case dwarf::DW_TAG_array_type:
            return {Describe(composite->getBaseType()).Name + ArraySuffix(Counts(composite), 0), "aggregate",
                    size};
        case dwarf::DW_TAG_enumeration_type:
            return {TagName(composite, "enum"), "enum", size};
        case dwarf::DW_TAG_union_type:
            return {TagName(composite, "union"), "aggregate", size};
        default:
            return {TagName(composite, "struct"), "aggregate", size};
        }
    }
    if (auto* function = dyn_cast<DISubroutineType>(type))
        return {FunctionName(function, ""), "aggregate", 0};
    return {type->getName().str(), "aggregate", size};
}

int64_t TCcDebugTypes::Add(const DIType* type) {
    if (!type) return -1;
    if (const auto found = FIndex.find(type); found != FIndex.end()) return found->second;
    if (auto* derived = dyn_cast<DIDerivedType>(type)) {
        const unsigned tag = derived->getTag();
        if (tag != dwarf::DW_TAG_pointer_type && tag != dwarf::DW_TAG_typedef &&
            tag != dwarf::DW_TAG_const_type && tag != dwarf::DW_TAG_volatile_type)
            return FIndex[type] = Add(derived->getBaseType());
    }
    // The entry exists before what it refers to is added: a structure that points to itself
    // finds its own index.
    const auto index = static_cast<int64_t>(FTypes.size());
    FIndex[type] = index;
    const TDebugInfo::TType described = Describe(type);
    FTypes.push_back({"", described.Name, "", described.Size, -1, 0, {}, {}});
    TDebugInfo::TTypeEntry entry = FTypes.back();

    if (isa<DIBasicType>(type)) {
        entry.Kind = "base";
        entry.Encoding = described.Encoding;
    } else if (auto* derived = dyn_cast<DIDerivedType>(type)) {
        switch (derived->getTag()) {
        case dwarf::DW_TAG_pointer_type:
            entry.Kind = "pointer";
            break;
        case dwarf::DW_TAG_typedef:
            entry.Kind = "typedef";
            break;
        case dwarf::DW_TAG_const_type:
            entry.Kind = "const";
            break;
        default:
            entry.Kind = "volatile";
            break;
        }
        entry.Target = Add(derived->getBaseType());
    } else if (auto* composite = dyn_cast<DICompositeType>(type)) {
        switch (composite->getTag()) {
        case dwarf::DW_TAG_array_type: {
            // int a[3][4]: an array of 3 "int[4]", each an array of 4 int.
            const std::vector<int64_t> counts = Counts(composite);
            int64_t element = Add(composite->getBaseType());
            const std::string base = Describe(composite->getBaseType()).Name;
            uint64_t elementSize = SizeOf(composite->getBaseType());
            entry.Kind = "array";
            for (size_t i = counts.size(); i-- > 1;) {
                const uint64_t count = counts[i] > 0 ? static_cast<uint64_t>(counts[i]) : 0;
                FTypes.push_back({"array",
                                  base + ArraySuffix(counts, i),
                                  "",
                                  elementSize * count,
                                  element,
                                  count,
                                  {},
                                  {}});
                element = static_cast<int64_t>(FTypes.size() - 1);
                elementSize *= count;
            }
            entry.Target = element;
            entry.Count = !counts.empty() && counts[0] > 0 ? static_cast<uint64_t>(counts[0]) : 0;
            break;
        }
        case dwarf::DW_TAG_enumeration_type:
            entry.Kind = "enum";
            entry.Target = Add(composite->getBaseType());
            for (const DINode* element : composite->getElements())
                if (auto* enumerator = dyn_cast<DIEnumerator>(element))
                    entry.Enumerators.push_back(
                        {enumerator->getName().str(),
                         enumerator->isUnsigned()
                             ? static_cast<int64_t>(enumerator->getValue().getZExtValue())
                             : enumerator->getValue().getSExtValue()});
            break;
        default:
            entry.Kind = composite->getTag() == dwarf::DW_TAG_union_type ? "union" : "struct";
            for (const DINode* element : composite->getElements()) {
                auto* member = dyn_cast<DIDerivedType>(element);
                if (!member || member->getTag() != dwarf::DW_TAG_member) continue;
                TDebugInfo::TMember item{member->getName().str(), Add(member->getBaseType()),
                                         member->getOffsetInBits() / 8, 0, 0};
                if (member->isBitField()) {
                    item.BitOffset = member->getOffsetInBits();
                    item.BitSize = member->getSizeInBits();
                }
                entry.Members.push_back(std::move(item));
            }
            break;
        }
    } else {
        entry.Kind = "function";
    }
    FTypes[static_cast<size_t>(index)] = std::move(entry);
    return index;
}
