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
    explicit TUnion(unsigned count = 0) : Parent(count) { std::iota(Parent.begin(), Parent.end(), 0u); }
    unsigned Find(unsigned v) {
        while (Parent[v] != v)
            v = Parent[v] = Parent[Parent[v]];
        return v;
    }
    void Join(unsigned a, unsigned b) { Parent[Find(a)] = Find(b); }
};

// A group of values that share one home (or one slot), as placed.
struct TGroup {
    TRanges Ranges;
    std::vector<unsigned> Members;
    double Weight = 0;
    int Start = INT32_MAX;
    int Home = -1;
    int Length = 0; // the positions covered
    double Density() const { return Weight / (Length + 1); }
};

} // namespace

// What the phases hand on to each other. Values are numbered 0..Count-1, the loop values
// Count..Total-1 after them.
struct TCcRegisterAllocation::TWork {
    TWork(const llvm::Function& function, bool everything, int firstHome,
          const std::function<bool(const Instruction&)>& needsHome,
          const std::function<const Value*(const Instruction&)>& copyOf,
          const std::function<bool(const Instruction&)>& inPlace, const std::vector<TLoopValue>& loopValues)
        : Function(function), Everything(everything), FirstHome(firstHome), NeedsHome(needsHome), CopyOf(copyOf),
          InPlace(inPlace), LoopValues(loopValues) {}

    const llvm::Function& Function;
    bool Everything;
    int FirstHome;
    const std::function<bool(const Instruction&)>& NeedsHome;
    const std::function<const Value*(const Instruction&)>& CopyOf;
    const std::function<bool(const Instruction&)>& InPlace;
    const std::vector<TLoopValue>& LoopValues;

    std::map<const Value*, unsigned> Id; // NumberValues
    std::vector<const Value*> Values;
    unsigned Count = 0, Total = 0;
    std::map<const BasicBlock*, int> First, Last; // NumberPositions
    std::map<const Instruction*, int> Position;
    std::vector<const Instruction*> AtPosition; // instruction k at AtPosition[k]
    int Next = 0;
    std::map<const BasicBlock*, BitVector> LiveIn, LiveOut; // Liveness
    std::vector<TRanges> Ranges;                            // BuildRanges
    std::vector<double> Weight;                             // Weigh
    TUnion Groups, Copies;                                  // Group
    std::map<unsigned, TGroup> ByRoot;                      // Place

    // The odd position after a block's last instruction: its edges.
    int Edges(const BasicBlock* block) const { return Last.at(block) + 1; }
};

TCcRegisterAllocation::TCcRegisterAllocation(const Function& function, bool everything, int firstHome,
                                             const std::function<bool(const Instruction&)>& needsHome,
                                             const std::function<const Value*(const Instruction&)>& copyOf,
                                             const std::function<bool(const Instruction&)>& inPlace,
                                             const std::vector<TLoopValue>& loopValues) {
    TWork work(function, everything, firstHome, needsHome, copyOf, inPlace, loopValues);
    NumberValues(work);
    if (work.Total == 0) return;
    NumberPositions(work);
    Liveness(work);
    BuildRanges(work);
    Weigh(work);
    if (everything) Group(work);
    Place(work);
    RecordHomes(work);
    RecordLastInstructions(work);
}

void TCcRegisterAllocation::NumberValues(TWork& work) {
    auto add = [&](const Value& value) {
        work.Id[&value] = static_cast<unsigned>(work.Values.size());
        work.Values.push_back(&value);
    };
    if (work.Everything)
        for (const Argument& argument : work.Function.args())
            if (argument.getType()->isIntOrPtrTy()) add(argument);
    for (const BasicBlock& block : work.Function)
        for (const Instruction& instruction : block)
            if (!instruction.getType()->isVoidTy() && work.NeedsHome(instruction) &&
                (work.Everything || SoleUseIsNext(instruction)))
                add(instruction);
    work.Count = static_cast<unsigned>(work.Values.size());
    work.Total = work.Count + static_cast<unsigned>(work.LoopValues.size());
    work.Groups = TUnion(work.Total);
    work.Copies = TUnion(work.Total);
}

void TCcRegisterAllocation::NumberPositions(TWork& work) {
    for (const BasicBlock& block : work.Function) {
        work.First[&block] = work.Next;
        for (const Instruction& instruction : block) {
            work.Position[&instruction] = work.Next;
            work.AtPosition.push_back(&instruction);
            work.Next += 2;
        }
        work.Last[&block] = work.Next - 2;
    }
}

void TCcRegisterAllocation::Liveness(TWork& work) {
    const unsigned count = work.Count;
    const auto& id = work.Id;
    auto& liveIn = work.LiveIn;
    auto& liveOut = work.LiveOut;
    // Per block: the values used before any definition in it (phis' uses excluded), the
    // values defined, and the phi inputs that the block's edges read.
    std::map<const BasicBlock*, BitVector> uses, defs, edgeUses;
    for (const BasicBlock& block : work.Function) {
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
    const auto& blocks = work.Function.getBasicBlockList();
    for (bool changed = true; changed;) {
        changed = false;
        for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
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
}

void TCcRegisterAllocation::BuildRanges(TWork& work) {
    const auto& id = work.Id;
    std::vector<TRanges>& ranges = work.Ranges;
    ranges.resize(work.Total);
    for (const BasicBlock& block : work.Function) {
        std::map<unsigned, std::pair<int, int>> span; // value -> its segment in this block
        auto cover = [&](unsigned v, int at) {
            auto [it, added] = span.try_emplace(v, at, at);
            it->second.first = std::min(it->second.first, at);
            it->second.second = std::max(it->second.second, at);
        };
        for (unsigned v : work.LiveIn[&block].set_bits())
            cover(v, work.First[&block]);
        for (const Instruction& instruction : block) {
            if (auto self = id.find(&instruction); self != id.end())
                cover(self->second, isa<PHINode>(instruction) ? work.First[&block] : work.Position[&instruction]);
            if (isa<PHINode>(instruction)) continue; // its inputs are read on the edges
            for (const Value* operand : instruction.operand_values())
                if (auto it = id.find(operand); it != id.end()) cover(it->second, work.Position[&instruction]);
        }
        for (unsigned v : work.LiveOut[&block].set_bits())
            cover(v, work.Edges(&block));
        for (auto& [v, segment] : span)
            ranges[v].push_back({segment.first, segment.second});
        for (const PHINode& phi : block.phis())
            if (auto self = id.find(&phi); self != id.end())
                for (const BasicBlock* predecessor : phi.blocks())
                    ranges[self->second].push_back({work.Edges(predecessor), work.Edges(predecessor)});
    }
    for (unsigned k = 0; k < work.LoopValues.size(); ++k) {
        for (const BasicBlock* block : work.LoopValues[k].Blocks)
            ranges[work.Count + k].push_back({work.First[block], work.Edges(block)});
        for (const BasicBlock* entry : work.LoopValues[k].Entries)
            ranges[work.Count + k].push_back({work.Edges(entry), work.Edges(entry)});
    }
}

void TCcRegisterAllocation::Weigh(TWork& work) {
    DominatorTree dominators(const_cast<Function&>(work.Function));
    LoopInfo loops(dominators);
    auto scale = [&](const BasicBlock* block) {
        return std::pow(8.0, std::min(loops.getLoopDepth(block), 4u));
    };
    std::vector<double>& weight = work.Weight;
    weight.assign(work.Total, 0);
    for (unsigned v = 0; v < work.Count; ++v) {
        auto* instruction = dyn_cast<Instruction>(work.Values[v]);
        weight[v] += instruction ? scale(instruction->getParent()) : 1;
        for (const Use& use : work.Values[v]->uses()) {
            auto* user = cast<Instruction>(use.getUser());
            auto* phi = dyn_cast<PHINode>(user);
            weight[v] += scale(phi ? phi->getIncomingBlock(use) : user->getParent());
        }
    }
    for (unsigned k = 0; k < work.LoopValues.size(); ++k)
        weight[work.Count + k] = work.LoopValues[k].Weight;
}

void TCcRegisterAllocation::Group(TWork& work) {
    const auto& id = work.Id;
    const auto& values = work.Values;
    const auto& ranges = work.Ranges;
    const unsigned count = work.Count, total = work.Total;
    TUnion& groups = work.Groups;
    TUnion& copies = work.Copies;
    for (unsigned v = 0; v < count; ++v)
        if (auto* instruction = dyn_cast<Instruction>(values[v]))
            if (const Value* operand = work.CopyOf(*instruction))
                if (auto it = id.find(operand); it != id.end()) {
                    groups.Join(v, it->second);
                    copies.Join(v, it->second);
                    FCopies[values[v]] = true;
                }
    std::vector<std::vector<unsigned>> members(total);
    for (unsigned v = 0; v < total; ++v)
        members[groups.Find(v)].push_back(v);
    for (const BasicBlock& block : work.Function)
        for (const PHINode& phi : block.phis()) {
            auto self = id.find(&phi);
            if (self == id.end()) continue;
            const unsigned p = self->second;
            for (unsigned i = 0; i < phi.getNumIncomingValues(); ++i) {
                auto it = id.find(phi.getIncomingValue(i));
                if (it == id.end() || groups.Find(it->second) == groups.Find(p)) continue;
                const unsigned v = it->second;
                const int edge = work.Edges(phi.getIncomingBlock(i));
                // Where two members may meet: the phi and its input on the edge of the copy,
                // an operand at its last use by an instruction that reads before it writes.
                auto copied = [&](unsigned a, unsigned b) {
                    return a == p && copies.Find(b) == copies.Find(v) ? edge : -1;
                };
                auto readFirst = [&](unsigned a, unsigned b) {
                    auto* user = dyn_cast<Instruction>(values[b]);
                    return user && work.InPlace(*user) && is_contained(user->operand_values(), values[a])
                               ? work.Position[user]
                               : -1;
                };
                bool meet = false;
                for (unsigned a : members[groups.Find(p)])
                    for (unsigned b : members[groups.Find(v)])
                        meet = meet ||
                               Meet(ranges[a], ranges[b], {copied(a, b), readFirst(a, b), readFirst(b, a)});
                if (meet) continue;
                const unsigned from = groups.Find(v), into = groups.Find(p);
                groups.Join(from, into);
                for (unsigned m : members[from])
                    members[into].push_back(m);
                members[from].clear();
            }
        }
}

void TCcRegisterAllocation::Place(TWork& work) {
    const unsigned count = work.Count, total = work.Total;
    const std::vector<TLoopValue>& loopValues = work.LoopValues;
    auto& byRoot = work.ByRoot;
    for (unsigned v = 0; v < total; ++v) {
        if (work.Ranges[v].empty()) continue; // never live
        TGroup& group = byRoot[work.Groups.Find(v)];
        group.Members.push_back(v);
        group.Weight += work.Weight[v];
        for (const TSegment& segment : work.Ranges[v]) {
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
        for (int reg = work.FirstHome; reg <= TCcEmitter::LastHome && home < 0; ++reg)
            if (std::none_of(placed[reg].begin(), placed[reg].end(),
                             [&](const TGroup* other) { return Meet(group->Ranges, other->Ranges); }))
                home = reg;
        if (home < 0) { // the groups in the way that weigh least for their length, when below this one
            double best = group->Density();
            for (int reg = work.FirstHome; reg <= TCcEmitter::LastHome; ++reg) {
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
}

void TCcRegisterAllocation::RecordHomes(TWork& work) {
    std::vector<bool> used(TCcEmitter::LastHome + 1, false);
    for (auto& [root, group] : work.ByRoot) {
        const Value* representative = nullptr;
        for (unsigned v : group.Members)
            if (v < work.Count) {
                if (!representative) representative = work.Values[v]; // the lowest: an argument first
                FRepresentative[work.Values[v]] = representative;
            }
        if (group.Home < 0) continue;
        used[group.Home] = true;
        for (unsigned v : group.Members) {
            if (v < work.Count)
                FHome[work.Values[v]] = group.Home;
            else
                FLoopHome[work.LoopValues[v - work.Count].Key] = group.Home;
        }
    }
    for (int reg = TCcEmitter::FirstHome; reg <= TCcEmitter::LastHome; ++reg)
        if (used[static_cast<size_t>(reg)]) FUsed.push_back(reg);
}

void TCcRegisterAllocation::RecordLastInstructions(TWork& work) {
    for (unsigned v = 0; v < work.Count; ++v) {
        const Value* value = work.Values[v];
        if (FHome.count(value) == 0 || work.Ranges[v].empty()) continue;
        // Ranges may have holes in which the register holds another value: the location ends
        // where the value's first unbroken run of positions does.
        TRanges sorted = work.Ranges[v];
        std::sort(sorted.begin(), sorted.end(), [](const TSegment& a, const TSegment& b) { return a.Start < b.Start; });
        int end = sorted.front().End;
        for (const TSegment& segment : sorted) {
            if (segment.Start > end + 2) break;
            end = std::max(end, segment.End);
        }
        if (end >= 0)
            FLast[value] = work.AtPosition[static_cast<size_t>(std::min(end / 2, work.Next / 2 - 1))];
    }
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
