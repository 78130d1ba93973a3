#pragma once
#include <map>
#include <memory>

namespace llvm {
class DataLayout;
class Function;
class Value;
} // namespace llvm

// What the 64-bit register of an iN value holds above bit N-1, as the instruction selection
// leaves it: in general anything (TCcSequences), but some results are known to be zero- or
// sign-extended already, so that their uses need not extend them again. For example an
// icmp gives 0 or 1, a urem of zero-extended operands is zero-extended, and an add nsw of
// sign-extended operands is sign-extended (its exact sum fits in N bits).
//
// The rules hold for the instructions that TCcFunctionLowering selects; phis are solved
// optimistically (all known until an incoming value says otherwise), so a loop counter that
// starts and steps extended stays extended.
class TCcValueBits {
  public:
    TCcValueBits(const llvm::Function& function, const llvm::DataLayout& layout);
    ~TCcValueBits();

    // The register holds the value zero-extended (sign-extended) from its width.
    bool ZeroExtended(const llvm::Value& value) const;
    bool SignExtended(const llvm::Value& value) const;
    // The value's top bit is known to be 0 (LLVM's known bits).
    bool NonNegative(const llvm::Value& value) const;
    // The register holds the value zero-extended and below 2^bits (LLVM's known bits).
    bool FitsUnsigned(const llvm::Value& value, unsigned bits) const;

  private:
    bool ZeroRule(const llvm::Value& value) const;
    bool SignRule(const llvm::Value& value) const;
    // The value (of its whole width) lies in 0..2^bits-1, or in -2^(bits-1)..2^(bits-1)-1
    // when signed, by LLVM's scalar evolution (the ranges of loop counters, for example).
    bool InRange(const llvm::Value& value, unsigned bits, bool isSigned) const;

    struct TAnalyses; // scalar evolution and what it needs

    const llvm::DataLayout& FLayout;
    std::unique_ptr<TAnalyses> FAnalyses;
    std::map<const llvm::Value*, bool> FZero, FSign;
};
