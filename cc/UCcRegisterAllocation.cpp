#include "UCcRegisterAllocation.h"

#include <algorithm>

#include <llvm/ADT/BitVector.h>
#include <llvm/IR/CFG.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/Instructions.h>

#include "UCcEmitter.h"

using namespace llvm;

namespace {

struct TInterval {
    int Start = INT32_MAX, End = -1;
    void Cover(int position) {
        Start = std::min(Start, position);
        End = std::max(End, position);
    }
};

bool SoleUseIsNext(const Instruction& instruction) {
    if (isa<PHINode>(instruction) || !instruction.hasOneUse()) return false;
    auto* user = dyn_cast<Instruction>(*instruction.user_begin());
    return user && user == instruction.getNextNode() && !isa<PHINode>(user);
}

} // namespace

TCcRegisterAllocation::TCcRegisterAllocation(const Function& function, bool everything, int firstHome,
                                             const std::function<bool(const Instruction&)>& needsHome) {
    // The values that may get a home, numbered.
    std::map<const Value*, unsigned> id;
    std::vector<const Value*> values;
    auto add = [&](const Value& value) {
        id[&value] = static_cast<unsigned>(values.size());
        values.push_back(&value);
    };
    if (everything)
        for (const Argument& argument : function.args())
            if (argument.getType()->isIntOrPtrTy()) add(argument);
    for (const BasicBlock& block : function)
        for (const Instruction& instruction : block)
            if (!instruction.getType()->isVoidTy() && needsHome(instruction) &&
                (everything || SoleUseIsNext(instruction)))
                add(instruction);
    if (values.empty()) return;
    const unsigned count = static_cast<unsigned>(values.size());

    // Positions: the arguments at 0, then each instruction in block order.
    std::map<const BasicBlock*, int> first, last;
    std::map<const Instruction*, int> position;
    std::vector<const Instruction*> atPosition = {nullptr};
    int next = 1;
    for (const BasicBlock& block : function) {
        first[&block] = next;
        for (const Instruction& instruction : block) {
            position[&instruction] = next++;
            atPosition.push_back(&instruction);
        }
        last[&block] = next - 1;
    }

    // Per block: the values used before any definition in it (phis' uses excluded), the
    // values defined, and the phi inputs that the block's edges read.
    std::map<const BasicBlock*, BitVector> uses, defs, edgeUses, liveIn, liveOut;
    for (const BasicBlock& block : function) {
        BitVector use(count), def(count), edge(count);
        for (const Instruction& instruction : block) {
            if (!isa<PHINode>(instruction))
                for (const Value* operand : instruction.operand_values()) {
                    auto it = id.find(operand);
                    if (it != id.end() && !def[it->second]) use.set(it->second);
                }
            auto it = id.find(&instruction);
            if (it != id.end()) def.set(it->second);
        }
        for (const BasicBlock* successor : successors(&block))
            for (const PHINode& phi : successor->phis()) {
                auto it = id.find(phi.getIncomingValueForBlock(&block));
                if (it != id.end()) edge.set(it->second);
            }
        uses[&block] = use;
        defs[&block] = def;
        edgeUses[&block] = edge;
        liveIn[&block] = BitVector(count);
        liveOut[&block] = BitVector(count);
    }
    for (bool changed = true; changed;) {
        changed = false;
        for (auto block = function.getBasicBlockList().rbegin(); block != function.getBasicBlockList().rend();
             ++block) {
            BitVector out = edgeUses[&*block];
            for (const BasicBlock* successor : successors(&*block))
                out |= liveIn[successor];
            BitVector in = out;
            in.reset(defs[&*block]);
            in |= uses[&*block];
            if (in != liveIn[&*block] || out != liveOut[&*block]) {
                liveIn[&*block] = std::move(in);
                liveOut[&*block] = std::move(out);
                changed = true;
            }
        }
    }

    // Intervals: hulls of definition, uses and the block boundaries where the value is live.
    std::vector<TInterval> intervals(count);
    for (unsigned v = 0; v < count; ++v)
        if (isa<Argument>(values[v])) intervals[v].Cover(0);
    for (const BasicBlock& block : function) {
        for (unsigned v : liveIn[&block].set_bits())
            intervals[v].Cover(first[&block]);
        for (unsigned v : liveOut[&block].set_bits())
            intervals[v].Cover(last[&block]);
        for (const Instruction& instruction : block) {
            auto self = id.find(&instruction);
            if (self != id.end()) intervals[self->second].Cover(position[&instruction]);
            if (auto* phi = dyn_cast<PHINode>(&instruction)) {
                if (self != id.end())
                    for (const BasicBlock* predecessor : phi->blocks())
                        intervals[self->second].Cover(last[predecessor]);
                continue;
            }
            for (const Value* operand : instruction.operand_values()) {
                auto it = id.find(operand);
                if (it != id.end()) intervals[it->second].Cover(position[&instruction]);
            }
        }
    }

    // Linear scan in order of start.
    std::vector<unsigned> order(count);
    for (unsigned v = 0; v < count; ++v)
        order[v] = v;
    std::stable_sort(order.begin(), order.end(),
                     [&](unsigned a, unsigned b) { return intervals[a].Start < intervals[b].Start; });
    std::vector<int> home(count, -1);
    std::vector<unsigned> active; // values holding a register
    std::vector<bool> usedRegister(TCcEmitter::LastHome + 1, false);
    for (unsigned v : order) {
        const TInterval& interval = intervals[v];
        if (interval.End < 0) continue; // never defined in a reachable place
        std::erase_if(active, [&](unsigned other) { return intervals[other].End < interval.Start; });
        std::vector<bool> taken(TCcEmitter::LastHome + 1, false);
        for (unsigned other : active)
            taken[static_cast<size_t>(home[other])] = true;
        int free = -1;
        for (int reg = firstHome; reg <= TCcEmitter::LastHome && free < 0; ++reg)
            if (!taken[static_cast<size_t>(reg)]) free = reg;
        if (free < 0) {
            auto longest = std::max_element(active.begin(), active.end(), [&](unsigned a, unsigned b) {
                return intervals[a].End < intervals[b].End;
            });
            if (intervals[*longest].End <= interval.End) continue; // v stays in its slot
            free = home[*longest];
            home[*longest] = -1;
            active.erase(longest);
        }
        home[v] = free;
        usedRegister[static_cast<size_t>(free)] = true;
        active.push_back(v);
    }
    for (unsigned v = 0; v < count; ++v)
        if (home[v] >= 0) {
            FHome[values[v]] = home[v];
            FLast[values[v]] = atPosition[static_cast<size_t>(intervals[v].End)];
        }
    for (int reg = TCcEmitter::FirstHome; reg <= TCcEmitter::LastHome; ++reg)
        if (usedRegister[static_cast<size_t>(reg)]) FUsed.push_back(reg);
}

int TCcRegisterAllocation::Home(const Value& value) const {
    auto it = FHome.find(&value);
    return it == FHome.end() ? -1 : it->second;
}

const Instruction* TCcRegisterAllocation::LastInstruction(const Value& value) const {
    auto it = FLast.find(&value);
    return it == FLast.end() ? nullptr : it->second;
}
