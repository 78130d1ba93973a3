// The back end's sequences for what the machine lacks (sub-word stores and loads, unsigned
// compares, logical shifts, unsigned division and remainders, sign and zero extension),
// checked against LLVM's APInt arithmetic over edge values of each width. Each case is a
// tiny IR module (main calls f with constant arguments, so nothing folds) lowered,
// assembled and run on the CPU; R0 holds the result.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <llvm/IR/Constants.h>
#include <llvm/IR/IRBuilder.h>
#include <llvm/IR/Intrinsics.h>
#include <llvm/IR/LLVMContext.h>
#include <llvm/IR/Module.h>

#include "UCcDriver.h"
#include "UCcModuleLowering.h"
#include "Uccpu.h"

using namespace llvm;

namespace {

const char DataLayoutText[] = "e-m:e-p270:32:32-p271:32:32-p272:64:64-i64:64-f80:128-n8:16:32:64-S128";

// Lowers, assembles and runs main; R0 after the run.
uint64_t RunMain(Module& module) {
    const std::string assembly = TCcModuleLowering(module, TCCPU::DefaultMemorySize).Lower();
    std::vector<uint8_t> image;
    const std::string error = TCcDriver::Assemble(assembly, image);
    EXPECT_EQ(error, "") << assembly;
    TCCPU cpu;
    EXPECT_EQ(cpu.Memory.LoadBytes(image.data(), static_cast<int64_t>(image.size())), 0);
    int64_t status = 0;
    for (int steps = 0; steps < 100000 && status == 0; ++steps)
        status = cpu.FetchAndExecute(cpu.IPOffset);
    EXPECT_EQ(status, 1) << "the program did not reach the end of its image";
    return static_cast<uint64_t>(cpu.R[0]);
}

struct TModule {
    LLVMContext Context;
    std::unique_ptr<Module> IR = std::make_unique<Module>("case.c", Context);
    TModule() { IR->setDataLayout(DataLayoutText); }
};

// main() { return zext(f(a, b)) } with f(x, y) { return build(x, y) } over iN.
uint64_t RunBinary(unsigned bits, const APInt& a, const APInt& b,
                   const std::function<Value*(IRBuilder<>&, Value*, Value*)>& build, unsigned resultBits) {
    TModule m;
    Type* type = IntegerType::get(m.Context, bits);
    Type* result = IntegerType::get(m.Context, resultBits);
    Type* i64 = Type::getInt64Ty(m.Context);
    Function* f = Function::Create(FunctionType::get(result, {type, type}, false),
                                   GlobalValue::InternalLinkage, "f", *m.IR);
    IRBuilder<> builder(BasicBlock::Create(m.Context, "", f));
    builder.CreateRet(build(builder, f->getArg(0), f->getArg(1)));
    Function* main =
        Function::Create(FunctionType::get(i64, {}, false), GlobalValue::ExternalLinkage, "main", *m.IR);
    builder.SetInsertPoint(BasicBlock::Create(m.Context, "", main));
    Value* call = builder.CreateCall(f, {ConstantInt::get(type, a), ConstantInt::get(type, b)});
    builder.CreateRet(resultBits == 64 ? call : builder.CreateZExt(call, i64));
    return RunMain(*m.IR);
}

std::vector<APInt> EdgeValues(unsigned bits) {
    std::vector<APInt> values = {APInt(bits, 0), APInt(bits, 1), APInt::getAllOnes(bits)};
    if (bits > 1)
        for (const APInt& value : {APInt(bits, 2), APInt::getSignedMaxValue(bits),
                                   APInt::getSignedMinValue(bits), APInt::getSignedMinValue(bits) + 1,
                                   APInt::getAllOnes(bits) - 1, APInt(bits, 0x5A5A5A5A5A5A5A5AULL, false)})
            values.push_back(value);
    if (bits > 8) values.push_back(APInt(bits, 1000003));
    return values;
}

const unsigned Widths[] = {1, 7, 8, 16, 32, 33, 64};

struct TBinaryRow {
    const char* Name;
    Instruction::BinaryOps Op;
    std::function<APInt(const APInt&, const APInt&)> Host;
    bool Divides; // divisor 0 skipped; signed ones also skip MIN / -1
    bool Shifts;  // counts of the width or more skipped (poison)
};

const TBinaryRow BinaryRows[] = {
    {"add", Instruction::Add, [](const APInt& a, const APInt& b) { return a + b; }, false, false},
    {"sub", Instruction::Sub, [](const APInt& a, const APInt& b) { return a - b; }, false, false},
    {"mul", Instruction::Mul, [](const APInt& a, const APInt& b) { return a * b; }, false, false},
    {"xor", Instruction::Xor, [](const APInt& a, const APInt& b) { return a ^ b; }, false, false},
    {"sdiv", Instruction::SDiv, [](const APInt& a, const APInt& b) { return a.sdiv(b); }, true, false},
    {"srem", Instruction::SRem, [](const APInt& a, const APInt& b) { return a.srem(b); }, true, false},
    {"udiv", Instruction::UDiv, [](const APInt& a, const APInt& b) { return a.udiv(b); }, true, false},
    {"urem", Instruction::URem, [](const APInt& a, const APInt& b) { return a.urem(b); }, true, false},
    {"shl", Instruction::Shl, [](const APInt& a, const APInt& b) { return a.shl(b); }, false, true},
    {"lshr", Instruction::LShr, [](const APInt& a, const APInt& b) { return a.lshr(b); }, false, true},
    {"ashr", Instruction::AShr, [](const APInt& a, const APInt& b) { return a.ashr(b); }, false, true},
};

void PrintTo(const TBinaryRow& row, std::ostream* out) {
    *out << row.Name;
}

class TBinaryTest : public testing::TestWithParam<TBinaryRow> {};

TEST_P(TBinaryTest, MatchesHostOverEdgeValues) {
    const TBinaryRow& row = GetParam();
    for (unsigned bits : Widths) {
        std::vector<APInt> seconds = EdgeValues(bits);
        if (row.Shifts) {
            seconds.clear();
            for (unsigned count : {0u, 1u, bits / 2, bits - 1})
                seconds.push_back(APInt(bits, count));
        }
        for (const APInt& a : EdgeValues(bits))
            for (const APInt& b : seconds) {
                if (row.Divides && b.isZero()) continue;
                if (row.Divides && (row.Op == Instruction::SDiv || row.Op == Instruction::SRem) &&
                    a.isMinSignedValue() && b.isAllOnes())
                    continue;
                const uint64_t got = RunBinary(
                    bits, a, b,
                    [&](IRBuilder<>& builder, Value* x, Value* y) {
                        return builder.CreateBinOp(row.Op, x, y);
                    },
                    bits);
                EXPECT_EQ(got, row.Host(a, b).getZExtValue())
                    << row.Name << " i" << bits << " " << a.getZExtValue() << ", " << b.getZExtValue();
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Sequences, TBinaryTest, testing::ValuesIn(BinaryRows),
                         [](const testing::TestParamInfo<TBinaryRow>& info) { return info.param.Name; });

struct TCompareRow {
    const char* Name;
    CmpInst::Predicate Predicate;
};

const TCompareRow CompareRows[] = {
    {"eq", CmpInst::ICMP_EQ},   {"ne", CmpInst::ICMP_NE},   {"ult", CmpInst::ICMP_ULT},
    {"ule", CmpInst::ICMP_ULE}, {"ugt", CmpInst::ICMP_UGT}, {"uge", CmpInst::ICMP_UGE},
    {"slt", CmpInst::ICMP_SLT}, {"sle", CmpInst::ICMP_SLE}, {"sgt", CmpInst::ICMP_SGT},
    {"sge", CmpInst::ICMP_SGE},
};

void PrintTo(const TCompareRow& row, std::ostream* out) {
    *out << row.Name;
}

class TCompareTest : public testing::TestWithParam<TCompareRow> {};

// Both the compare as a value (0 or 1) and the compare fused into a branch.
TEST_P(TCompareTest, MatchesHostOverEdgeValues) {
    const TCompareRow& row = GetParam();
    for (unsigned bits : Widths)
        for (const APInt& a : EdgeValues(bits))
            for (const APInt& b : EdgeValues(bits)) {
                const uint64_t expected = ICmpInst::compare(a, b, row.Predicate);
                const uint64_t value = RunBinary(
                    bits, a, b,
                    [&](IRBuilder<>& builder, Value* x, Value* y) {
                        return builder.CreateICmp(row.Predicate, x, y);
                    },
                    1);
                const uint64_t branch = RunBinary(
                    bits, a, b,
                    [&](IRBuilder<>& builder, Value* x, Value* y) -> Value* {
                        Function* f = builder.GetInsertBlock()->getParent();
                        BasicBlock* yes = BasicBlock::Create(f->getContext(), "", f);
                        BasicBlock* no = BasicBlock::Create(f->getContext(), "", f);
                        builder.CreateCondBr(builder.CreateICmp(row.Predicate, x, y), yes, no);
                        IRBuilder<>(yes).CreateRet(ConstantInt::get(builder.getInt8Ty(), 1));
                        builder.SetInsertPoint(no);
                        return ConstantInt::get(builder.getInt8Ty(), 0);
                    },
                    8);
                EXPECT_EQ(value, expected)
                    << row.Name << " i" << bits << " " << a.getZExtValue() << ", " << b.getZExtValue();
                EXPECT_EQ(branch, expected) << "branch on " << row.Name << " i" << bits << " "
                                            << a.getZExtValue() << ", " << b.getZExtValue();
            }
}

INSTANTIATE_TEST_SUITE_P(Sequences, TCompareTest, testing::ValuesIn(CompareRows),
                         [](const testing::TestParamInfo<TCompareRow>& info) { return info.param.Name; });

TEST(TCastTest, SignAndZeroExtensionMatchHost) {
    for (unsigned bits : Widths)
        for (const APInt& a : EdgeValues(bits))
            for (const bool isSigned : {false, true}) {
                const uint64_t got = RunBinary(
                    bits, a, a,
                    [&](IRBuilder<>& builder, Value* x, Value*) {
                        // the add leaves bits above the width undefined for the extension to clear
                        Value* sum = builder.CreateAdd(x, ConstantInt::get(x->getType(), 0));
                        return isSigned ? builder.CreateSExt(sum, builder.getInt64Ty())
                                        : builder.CreateZExt(sum, builder.getInt64Ty());
                    },
                    64);
                EXPECT_EQ(got, isSigned ? a.sext(64).getZExtValue() : a.getZExtValue())
                    << (isSigned ? "sext i" : "zext i") << bits << " " << a.getZExtValue();
            }
}

// A 32-byte global holds 0xA0, 0xA1, ...; f stores (or loads) at byte k of it.
const uint8_t Pattern[32] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA,
                             0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5,
                             0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF};

Constant* BytePointer(TModule& m, GlobalVariable* global, unsigned offset, Type* type) {
    Constant* byte = ConstantExpr::getInBoundsGetElementPtr(
        global->getValueType(), global,
        ArrayRef<Constant*>{ConstantInt::get(Type::getInt64Ty(m.Context), 0),
                            ConstantInt::get(Type::getInt64Ty(m.Context), offset)});
    return ConstantExpr::getBitCast(byte, PointerType::getUnqual(type));
}

// Stores value (bytes wide) at byte `at`, then returns the 8 bytes at byte `word`.
uint64_t StoreThenRead(unsigned bytes, uint64_t value, unsigned at, unsigned word) {
    TModule m;
    Type* type = IntegerType::get(m.Context, 8 * bytes);
    Type* i64 = Type::getInt64Ty(m.Context);
    auto* global = new GlobalVariable(*m.IR, ArrayType::get(Type::getInt8Ty(m.Context), 32), false,
                                      GlobalValue::InternalLinkage,
                                      ConstantDataArray::get(m.Context, ArrayRef<uint8_t>(Pattern)), "g");
    global->setAlignment(Align(16));
    Function* f = Function::Create(
        FunctionType::get(Type::getVoidTy(m.Context), {PointerType::getUnqual(type), type}, false),
        GlobalValue::InternalLinkage, "f", *m.IR);
    IRBuilder<> builder(BasicBlock::Create(m.Context, "", f));
    builder.CreateStore(f->getArg(1), f->getArg(0));
    builder.CreateRetVoid();
    Function* main =
        Function::Create(FunctionType::get(i64, {}, false), GlobalValue::ExternalLinkage, "main", *m.IR);
    builder.SetInsertPoint(BasicBlock::Create(m.Context, "", main));
    builder.CreateCall(f, {BytePointer(m, global, at, type), ConstantInt::get(type, value)});
    builder.CreateRet(builder.CreateLoad(i64, BytePointer(m, global, word, i64)));
    return RunMain(*m.IR);
}

TEST(TMemoryTest, StoresOfEveryWidthKeepTheirNeighbours) {
    for (unsigned bytes : {1u, 2u, 4u, 8u})
        for (unsigned at : {0u, 1u, 3u, 7u, 8u, 13u})
            for (uint64_t value : {uint64_t{0}, UINT64_MAX, uint64_t{0x0123456789ABCDEF}}) {
                uint8_t expected[32];
                std::memcpy(expected, Pattern, 32);
                std::memcpy(expected + at, &value, bytes); // little-endian host
                for (unsigned word = 0; word < 32; word += 8) {
                    uint64_t expectedWord;
                    std::memcpy(&expectedWord, expected + word, 8);
                    EXPECT_EQ(StoreThenRead(bytes, value, at, word), expectedWord)
                        << bytes << " bytes at " << at << ", word at " << word;
                }
            }
}

TEST(TMemoryTest, LoadsOfEveryWidthExtendAsAsked) {
    for (unsigned bytes : {1u, 2u, 4u, 8u})
        for (unsigned at : {0u, 5u, 9u, 24u})
            for (const bool isSigned : {false, true}) {
                TModule m;
                Type* type = IntegerType::get(m.Context, 8 * bytes);
                Type* i64 = Type::getInt64Ty(m.Context);
                auto* global =
                    new GlobalVariable(*m.IR, ArrayType::get(Type::getInt8Ty(m.Context), 32), false,
                                       GlobalValue::InternalLinkage,
                                       ConstantDataArray::get(m.Context, ArrayRef<uint8_t>(Pattern)), "g");
                Function* main = Function::Create(FunctionType::get(i64, {}, false),
                                                  GlobalValue::ExternalLinkage, "main", *m.IR);
                IRBuilder<> builder(BasicBlock::Create(m.Context, "", main));
                Value* loaded = builder.CreateLoad(type, BytePointer(m, global, at, type));
                builder.CreateRet(isSigned ? builder.CreateSExt(loaded, i64)
                                           : builder.CreateZExt(loaded, i64));
                uint64_t raw = 0;
                std::memcpy(&raw, Pattern + at, bytes);
                const APInt value(8 * bytes, raw);
                EXPECT_EQ(RunMain(*m.IR), isSigned ? value.sext(64).getZExtValue() : value.getZExtValue())
                    << bytes << " bytes at " << at << (isSigned ? " sign-extended" : " zero-extended");
            }
}

} // namespace

namespace {

// The *.with.overflow intrinsics: both the wrapped result and the overflow flag against APInt.
struct TOverflowRow {
    const char* Name;
    Intrinsic::ID Id;
    std::function<APInt(const APInt&, const APInt&, bool&)> Host;
};

const TOverflowRow OverflowRows[] = {
    {"sadd", Intrinsic::sadd_with_overflow,
     [](const APInt& a, const APInt& b, bool& o) { return a.sadd_ov(b, o); }},
    {"uadd", Intrinsic::uadd_with_overflow,
     [](const APInt& a, const APInt& b, bool& o) { return a.uadd_ov(b, o); }},
    {"ssub", Intrinsic::ssub_with_overflow,
     [](const APInt& a, const APInt& b, bool& o) { return a.ssub_ov(b, o); }},
    {"usub", Intrinsic::usub_with_overflow,
     [](const APInt& a, const APInt& b, bool& o) { return a.usub_ov(b, o); }},
    {"smul", Intrinsic::smul_with_overflow,
     [](const APInt& a, const APInt& b, bool& o) { return a.smul_ov(b, o); }},
    {"umul", Intrinsic::umul_with_overflow,
     [](const APInt& a, const APInt& b, bool& o) { return a.umul_ov(b, o); }},
};

void PrintTo(const TOverflowRow& row, std::ostream* out) {
    *out << row.Name;
}

class TOverflowTest : public testing::TestWithParam<TOverflowRow> {};

TEST_P(TOverflowTest, MatchesHostOverEdgeValues) {
    const TOverflowRow& row = GetParam();
    for (unsigned bits : {8u, 16u, 32u, 33u, 48u, 64u})
        for (const APInt& a : EdgeValues(bits))
            for (const APInt& b : EdgeValues(bits)) {
                bool overflow = false;
                const uint64_t expected = row.Host(a, b, overflow).getZExtValue();
                for (unsigned part : {0u, 1u}) {
                    const uint64_t got = RunBinary(
                        bits, a, b,
                        [&](IRBuilder<>& builder, Value* x, Value* y) {
                            return builder.CreateExtractValue(builder.CreateBinaryIntrinsic(row.Id, x, y),
                                                              part);
                        },
                        part ? 1 : bits);
                    EXPECT_EQ(got, part ? uint64_t{overflow} : expected)
                        << row.Name << " i" << bits << (part ? " flag " : " result ") << a.getZExtValue()
                        << ", " << b.getZExtValue();
                }
            }
}

INSTANTIATE_TEST_SUITE_P(Sequences, TOverflowTest, testing::ValuesIn(OverflowRows),
                         [](const testing::TestParamInfo<TOverflowRow>& info) { return info.param.Name; });

// Bit counts, byte swap and funnel shifts (by constant counts, a few of them past the width).
TEST(TBitTest, CountsSwapsAndFunnelShiftsMatchHost) {
    for (unsigned bits : {8u, 16u, 32u, 64u})
        for (const APInt& a : EdgeValues(bits)) {
            auto unary = [&](Intrinsic::ID id) {
                return RunBinary(
                    bits, a, a,
                    [&](IRBuilder<>& builder, Value* x, Value*) -> Value* {
                        if (id == Intrinsic::ctpop || id == Intrinsic::bswap)
                            return builder.CreateUnaryIntrinsic(id, x);
                        return builder.CreateBinaryIntrinsic(id, x, builder.getFalse());
                    },
                    bits);
            };
            EXPECT_EQ(unary(Intrinsic::ctpop), a.countPopulation())
                << "ctpop i" << bits << " " << a.getZExtValue();
            EXPECT_EQ(unary(Intrinsic::ctlz), a.countLeadingZeros())
                << "ctlz i" << bits << " " << a.getZExtValue();
            EXPECT_EQ(unary(Intrinsic::cttz), a.countTrailingZeros())
                << "cttz i" << bits << " " << a.getZExtValue();
            if (bits >= 16) {
                EXPECT_EQ(unary(Intrinsic::bswap), a.byteSwap().getZExtValue())
                    << "bswap i" << bits << " " << a.getZExtValue();
            }
            const APInt b(bits, 0x0123456789ABCDEFULL, false);
            for (unsigned count : {0u, 1u, bits / 2, bits - 1, bits, bits + 3})
                for (const bool left : {true, false}) {
                    const APInt s(bits, count);
                    const unsigned m = count % bits;
                    const APInt expected =
                        left ? (m ? a.shl(m) | b.lshr(bits - m) : a) : (m ? b.lshr(m) | a.shl(bits - m) : b);
                    const uint64_t got = RunBinary(
                        bits, a, b,
                        [&](IRBuilder<>& builder, Value* x, Value* y) -> Value* {
                            return builder.CreateIntrinsic(left ? Intrinsic::fshl : Intrinsic::fshr,
                                                           {x->getType()},
                                                           {x, y, ConstantInt::get(x->getType(), s)});
                        },
                        bits);
                    EXPECT_EQ(got, expected.getZExtValue())
                        << (left ? "fshl i" : "fshr i") << bits << " " << a.getZExtValue() << " by " << count;
                }
        }
}

} // namespace
