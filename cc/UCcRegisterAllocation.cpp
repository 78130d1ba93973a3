#include "UCcRegisterAllocation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <llvm/ADT/BitVector.h>
#include <llvm/ADT/STLExtras.h>
#include <llvm/Analysis/LoopInfo.h>
#include <llvm/IR/CFG.h>
#include <llvm/IR/Dominators.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/Instructions.h>

#include "UCcEmitter.h"

using namespace llvm;

namespace {

struct TSegment {
    int Start, End; // both included
};
using TRanges = std::vector<TSegment>;

// True when the ranges share a position other than the allowed ones, each alone.
bool Meet(const TRanges& a, const TRanges& b, std::initializer_list<int> allowed = {}) {
    for (const TSegment& x : a)
        for (const TSegment& y : b) {
            const int from = std::max(x.Start, y.Start), to = std::min(x.End, y.End);
            if (from <= to &&
                !(from == to && std::find(allowed.begin(), allowed.end(), from) != allowed.end()))
                return true;
        }
    return false;
}

bool SoleUseIsNext(const Instruction& instruction) {
    if (isa<PHINode>(instruction) || !instruction.hasOneUse()) return false;
    auto* user = dyn_cast<Instruction>(*instruction.user_begin());
    return user && user == instruction.getNextNode() && !isa<PHINode>(user);
}

struct TUnion {
    std::vector<unsigned> Parent;
    explicit TUnion(unsigned count) : Parent(count) { std::iota(Parent.begin(), Parent.end(), 0u); }
    unsigned Find(unsigned v) {
        while (Parent[v] != v)
            v = Parent[v] = Parent[Parent[v]];
        return v;
    }
    void Join(unsigned a, unsigned b) { Parent[Find(a)] = Find(b); }
};

} // namespace

TCcRegisterAllocation::TCcRegisterAllocation(const Function& function, bool everything, int firstHome,
                                             const std::function<bool(const Instruction&)>& needsHome,
                                             const std::function<const Value*(const Instruction&)>& copyOf,
                                             const std::function<bool(const Instruction&)>& inPlace,
                                             const std::vector<TLoopValue>& loopValues) {
    // The values that may get a home, numbered; the loop values after them.
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
    const unsigned count = static_cast<unsigned>(values.size());
    const unsigned total = count + static_cast<unsigned>(loopValues.size());
    if (total == 0) return;

    // Positions: instruction k of the function at 2k, the edges of a block after its last.
    std::map<const BasicBlock*, int> first, last;
    std::map<const Instruction*, int> position;
    std::vector<const Instruction*> atPosition; // instruction k at atPosition[k]
    int next = 0;
    for (const BasicBlock& block : function) {
        first[&block] = next;
        for (const Instruction& instruction : block) {
            position[&instruction] = next;
            atPosition.push_back(&instruction);
            next += 2;
        }
        last[&block] = next - 2;
    }
    auto edges = [&](const BasicBlock* block) { return last[block] + 1; };

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

    // Ranges: one segment per block where a value is live, the phis' writes on their edges.
    std::vector<TRanges> ranges(total);
    for (const BasicBlock& block : function) {
        std::map<unsigned, std::pair<int, int>> span; // value -> its segment in this block
        auto cover = [&](unsigned v, int at) {
            auto [it, added] = span.try_emplace(v, at, at);
            it->second.first = std::min(it->second.first, at);
            it->second.second = std::max(it->second.second, at);
        };
        for (unsigned v : liveIn[&block].set_bits())
            cover(v, first[&block]);
        for (const Instruction& instruction : block) {
            if (auto self = id.find(&instruction); self != id.end())
                cover(self->second, isa<PHINode>(instruction) ? first[&block] : position[&instruction]);
            if (isa<PHINode>(instruction)) continue; // its inputs are read on the edges
            for (const Value* operand : instruction.operand_values())
                if (auto it = id.find(operand); it != id.end()) cover(it->second, position[&instruction]);
        }
        for (unsigned v : liveOut[&block].set_bits())
            cover(v, edges(&block));
        for (auto& [v, segment] : span)
            ranges[v].push_back({segment.first, segment.second});
        for (const PHINode& phi : block.phis())
            if (auto self = id.find(&phi); self != id.end())
                for (const BasicBlock* predecessor : phi.blocks())
                    ranges[self->second].push_back({edges(predecessor), edges(predecessor)});
    }
    for (unsigned k = 0; k < loopValues.size(); ++k) {
        for (const BasicBlock* block : loopValues[k].Blocks)
            ranges[count + k].push_back({first[block], edges(block)});
        for (const BasicBlock* entry : loopValues[k].Entries)
            ranges[count + k].push_back({edges(entry), edges(entry)});
    }

    // Weights: each use and definition, 8 times for each loop around it.
    DominatorTree dominators(const_cast<Function&>(function));
    LoopInfo loops(dominators);
    auto scale = [&](const BasicBlock* block) {
        return std::pow(8.0, std::min(loops.getLoopDepth(block), 4u));
    };
    std::vector<double> weight(total, 0);
    for (unsigned v = 0; v < count; ++v) {
        auto* instruction = dyn_cast<Instruction>(values[v]);
        weight[v] += instruction ? scale(instruction->getParent()) : 1;
        for (const Use& use : values[v]->uses()) {
            auto* user = cast<Instruction>(use.getUser());
            auto* phi = dyn_cast<PHINode>(user);
            weight[v] += scale(phi ? phi->getIncomingBlock(use) : user->getParent());
        }
    }
    for (unsigned k = 0; k < loopValues.size(); ++k)
        weight[count + k] = loopValues[k].Weight;

    // Groups: copies with their operands, then phis with the inputs they can share a home with.
    TUnion groups(total), copies(total);
    if (everything) {
        for (unsigned v = 0; v < count; ++v)
            if (auto* instruction = dyn_cast<Instruction>(values[v]))
                if (const Value* operand = copyOf(*instruction))
                    if (auto it = id.find(operand); it != id.end()) {
                        groups.Join(v, it->second);
                        copies.Join(v, it->second);
                        FCopies[values[v]] = true;
                    }
        std::vector<std::vector<unsigned>> members(total);
        for (unsigned v = 0; v < total; ++v)
            members[groups.Find(v)].push_back(v);
        for (const BasicBlock& block : function)
            for (const PHINode& phi : block.phis()) {
                auto self = id.find(&phi);
                if (self == id.end()) continue;
                const unsigned p = self->second;
                for (unsigned i = 0; i < phi.getNumIncomingValues(); ++i) {
                    auto it = id.find(phi.getIncomingValue(i));
                    if (it == id.end() || groups.Find(it->second) == groups.Find(p)) continue;
                    const unsigned v = it->second;
                    const int edge = edges(phi.getIncomingBlock(i));
                    // Where two members may meet: the phi and its input on the edge of the copy,
                    // an operand at its last use by an instruction that reads before it writes.
                    auto copied = [&](unsigned a, unsigned b) {
                        return a == p && copies.Find(b) == copies.Find(v) ? edge : -1;
                    };
                    auto readFirst = [&](unsigned a, unsigned b) {
                        auto* user = dyn_cast<Instruction>(values[b]);
                        return user && inPlace(*user) && is_contained(user->operand_values(), values[a])
                                   ? position[user]
                                   : -1;
                    };
                    bool meet = false;
                    for (unsigned a : members[groups.Find(p)])
                        for (unsigned b : members[groups.Find(v)])
                            meet = meet || Meet(ranges[a], ranges[b],
                                                {copied(a, b), readFirst(a, b), readFirst(b, a)});
                    if (meet) continue;
                    const unsigned from = groups.Find(v), into = groups.Find(p);
                    groups.Join(from, into);
                    for (unsigned m : members[from])
                        members[into].push_back(m);
                    members[from].clear();
                }
            }
    }

    // Placement, in order of start.
    struct TGroup {
        TRanges Ranges;
        std::vector<unsigned> Members;
        double Weight = 0;
        int Start = INT32_MAX;
        int Home = -1;
        int Length = 0; // the positions covered
        double Density() const { return Weight / (Length + 1); }
    };
    std::map<unsigned, TGroup> byRoot;
    for (unsigned v = 0; v < total; ++v) {
        if (ranges[v].empty()) continue; // never live
        TGroup& group = byRoot[groups.Find(v)];
        group.Members.push_back(v);
        group.Weight += weight[v];
        for (const TSegment& segment : ranges[v]) {
            group.Ranges.push_back(segment);
            group.Start = std::min(group.Start, segment.Start);
            group.Length += segment.End - segment.Start + 1;
        }
    }
    std::vector<TGroup*> order;
    for (auto& [root, group] : byRoot)
        order.push_back(&group);
    std::stable_sort(order.begin(), order.end(),
                     [](const TGroup* a, const TGroup* b) { return a->Start < b->Start; });
    std::vector<std::vector<TGroup*>> placed(TCcEmitter::LastHome + 1);
    std::vector<TGroup*> groupOf(total, nullptr);
    for (auto& [root, group] : byRoot)
        for (unsigned v : group.Members)
            groupOf[v] = &group;
    // A loop value of an inner loop waits until the end: the same value of the loop around
    // serves it when that one keeps its home.
    std::vector<TGroup*> inner;
    for (TGroup* group : order)
        if (const unsigned v = group->Members.front(); v >= count && loopValues[v - count].Parent >= 0)
            inner.push_back(group);
    std::erase_if(order,
                  [&](TGroup* group) { return std::find(inner.begin(), inner.end(), group) != inner.end(); });
    for (TGroup* group : inner)
        order.push_back(group);
    for (TGroup* group : order) {
        if (const unsigned v = group->Members.front(); v >= count) {
            const int parent = loopValues[v - count].Parent;
            if (parent >= 0 && groupOf[count + parent] && groupOf[count + parent]->Home >= 0) continue;
        }
        int home = -1;
        for (int reg = firstHome; reg <= TCcEmitter::LastHome && home < 0; ++reg)
            if (std::none_of(placed[reg].begin(), placed[reg].end(),
                             [&](const TGroup* other) { return Meet(group->Ranges, other->Ranges); }))
                home = reg;
        if (home < 0) { // the groups in the way that weigh least for their length, when below this one
            double best = group->Density();
            for (int reg = firstHome; reg <= TCcEmitter::LastHome; ++reg) {
                double inTheWay = 0;
                for (const TGroup* other : placed[reg])
                    if (Meet(group->Ranges, other->Ranges)) inTheWay = std::max(inTheWay, other->Density());
                if (inTheWay < best) best = inTheWay, home = reg;
            }
            if (home < 0) continue; // stays in its slot
            std::erase_if(placed[home], [&](TGroup* other) {
                if (!Meet(group->Ranges, other->Ranges)) return false;
                other->Home = -1;
                return true;
            });
        }
        group->Home = home;
        placed[home].push_back(group);
    }

    std::vector<bool> used(TCcEmitter::LastHome + 1, false);
    for (auto& [root, group] : byRoot) {
        const Value* representative = nullptr;
        for (unsigned v : group.Members)
            if (v < count) {
                if (!representative) representative = values[v]; // the lowest: an argument first
                FRepresentative[values[v]] = representative;
            }
        if (group.Home < 0) continue;
        used[group.Home] = true;
        for (unsigned v : group.Members) {
            if (v < count)
                FHome[values[v]] = group.Home;
            else
                FLoopHome[loopValues[v - count].Key] = group.Home;
        }
    }
    // The last instruction of a homed value's own ranges; an edge position (odd) stands for
    // the copies after its block's last instruction, which the block's code does not include.
    for (unsigned v = 0; v < count; ++v) {
        if (FHome.count(values[v]) == 0 || ranges[v].empty()) continue;
        // Ranges may have holes in which the register holds another value: the location ends
        // where the value's first unbroken run of positions does.
        TRanges sorted = ranges[v];
        std::sort(sorted.begin(), sorted.end(), [](const TSegment& a, const TSegment& b) { return a.Start < b.Start; });
        int end = sorted.front().End;
        for (const TSegment& segment : sorted) {
            if (segment.Start > end + 2) break;
            end = std::max(end, segment.End);
        }
        if (end >= 0) FLast[values[v]] = atPosition[static_cast<size_t>(std::min(end / 2, next / 2 - 1))];
    }
    for (int reg = TCcEmitter::FirstHome; reg <= TCcEmitter::LastHome; ++reg)
        if (used[static_cast<size_t>(reg)]) FUsed.push_back(reg);
}

int TCcRegisterAllocation::Home(const Value& value) const {
    auto it = FHome.find(&value);
    return it == FHome.end() ? -1 : it->second;
}

int TCcRegisterAllocation::LoopHome(const void* key) const {
    auto it = FLoopHome.find(key);
    return it == FLoopHome.end() ? -1 : it->second;
}

const Value& TCcRegisterAllocation::Representative(const Value& value) const {
    auto it = FRepresentative.find(&value);
    return it == FRepresentative.end() ? value : *it->second;
}

const Instruction* TCcRegisterAllocation::LastInstruction(const Value& value) const {
    auto it = FLast.find(&value);
    return it == FLast.end() ? nullptr : it->second;
}
