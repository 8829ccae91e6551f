#include "crash/WRKDwarf.h"

#include <cstring>
#include <iterator>
#include <utility>

#include "crash/WRKPlatform.h"
#include "crash/WRKSDKLog.h"

namespace talvor::crash {
namespace {

constexpr std::size_t kRememberDepth = 8;
constexpr std::size_t kExpressionStackSize = 100;

template <class T>
T readAndAdvance(const std::uint8_t** cursor) {
    T value;
    std::memcpy(&value, *cursor, sizeof value);
    *cursor += sizeof value;
    return value;
}

// A record's length: 32 bits, or 0xffffffff and then 64 bits. The end of the record in
// `end`; false for a length of 0 (the end of the section).
bool recordBounds(const std::uint8_t** cursor, const std::uint8_t** end) {
    std::uint64_t length = readAndAdvance<std::uint32_t>(cursor);
    if (length == 0xffffffffu) {
        length = readAndAdvance<std::uint64_t>(cursor);
    }
    if (length == 0) {
        return false;
    }
    *end = *cursor + length;
    return true;
}

std::uint64_t registerValue(const WRKThreadState& registers, std::uint64_t column, bool* ok) {
    const int index = WRKDwarfStateIndex(column);
    if (index < 0) {
        *ok = false;
        return 0;
    }
    return registers.registers[index];
}

class ExpressionStack {
  public:
    bool push(std::uint64_t value) {
        if (size_ == kExpressionStackSize) {
            return false;
        }
        values_[size_++] = value;
        return true;
    }
    bool pop(std::uint64_t* value) {
        if (size_ == 0) {
            return false;
        }
        *value = values_[--size_];
        return true;
    }
    // The value `depth` places below the top.
    bool peek(std::size_t depth, std::uint64_t* value) const {
        if (depth >= size_) {
            return false;
        }
        *value = values_[size_ - 1 - depth];
        return true;
    }
    std::uint64_t* at(std::size_t depth) {
        return depth < size_ ? &values_[size_ - 1 - depth] : nullptr;
    }

  private:
    std::uint64_t values_[kExpressionStackSize];
    std::size_t size_ = 0;
};

bool readWord(std::uint64_t address, std::uint64_t* out, std::size_t size = 8) {
    std::uint64_t value = 0;
    if (!WRKReadMemory(WRKAddressPointer(address), &value, size)) {
        return false;
    }
    *out = value;  // little-endian: the low bytes
    return true;
}

bool binary(ExpressionStack& stack, std::uint8_t op) {
    std::uint64_t b = 0;
    std::uint64_t a = 0;
    if (!stack.pop(&b) || !stack.pop(&a)) {
        return false;
    }
    const auto sa = static_cast<std::int64_t>(a);
    const auto sb = static_cast<std::int64_t>(b);
    std::uint64_t r = 0;
    switch (op) {
        case 0x1a:
            r = a & b;
            break;
        case 0x1b:
            if (sb == 0 || (sb == -1 && a == (std::uint64_t{1} << 63))) {
                return false;
            }
            r = static_cast<std::uint64_t>(sa / sb);
            break;
        case 0x1c:
            r = a - b;
            break;
        case 0x1d:
            if (b == 0) {
                return false;
            }
            r = a % b;
            break;
        case 0x1e:
            r = a * b;
            break;
        case 0x21:
            r = a | b;
            break;
        case 0x22:
            r = a + b;
            break;
        case 0x24:
            r = b >= 64 ? 0 : a << b;
            break;
        case 0x25:
            r = b >= 64 ? 0 : a >> b;
            break;
        case 0x26:
            r = static_cast<std::uint64_t>(b >= 64 ? (sa < 0 ? -1 : 0) : sa >> b);
            break;
        case 0x27:
            r = a ^ b;
            break;
        case 0x29:
            r = sa == sb;
            break;
        case 0x2a:
            r = sa >= sb;
            break;
        case 0x2b:
            r = sa > sb;
            break;
        case 0x2c:
            r = sa <= sb;
            break;
        case 0x2d:
            r = sa < sb;
            break;
        case 0x2e:
            r = sa != sb;
            break;
        default:
            return false;
    }
    return stack.push(r);
}

// lit0-lit31, reg0-reg31, breg0-breg31, regx and bregx: a number or a register's value.
bool pushLiteralOrRegister(std::uint8_t op, const std::uint8_t** cursor, ExpressionStack& stack,
                           const WRKThreadState& registers) {
    bool ok = true;
    if (op >= 0x30 && op <= 0x4f) {  // lit0-lit31
        return stack.push(op - 0x30u);
    }
    if (op >= 0x50 && op <= 0x6f) {  // reg0-reg31
        const std::uint64_t value = registerValue(registers, op - 0x50u, &ok);
        return ok && stack.push(value);
    }
    if (op >= 0x70 && op <= 0x8f) {  // breg0-breg31
        const std::int64_t offset = WRKParseLEB128AndAdvance(cursor);
        const std::uint64_t value = registerValue(registers, op - 0x70u, &ok);
        return ok && stack.push(value + static_cast<std::uint64_t>(offset));
    }
    if (op == 0x90) {  // regx
        const std::uint64_t value =
            registerValue(registers, WRKParseULEB128AndAdvance(cursor), &ok);
        return ok && stack.push(value);
    }
    // bregx
    const std::uint64_t column = WRKParseULEB128AndAdvance(cursor);
    const std::int64_t offset = WRKParseLEB128AndAdvance(cursor);
    const std::uint64_t value = registerValue(registers, column, &ok);
    return ok && stack.push(value + static_cast<std::uint64_t>(offset));
}

// addr and const1u-constsx: a constant that follows the opcode.
bool pushConstant(std::uint8_t op, const std::uint8_t** cursor, ExpressionStack& stack) {
    switch (op) {
        case 0x03:  // addr
            return stack.push(readAndAdvance<std::uint64_t>(cursor));
        case 0x08:
            return stack.push(readAndAdvance<std::uint8_t>(cursor));
        case 0x09:
            return stack.push(static_cast<std::uint64_t>(readAndAdvance<std::int8_t>(cursor)));
        case 0x0a:
            return stack.push(readAndAdvance<std::uint16_t>(cursor));
        case 0x0b:
            return stack.push(static_cast<std::uint64_t>(readAndAdvance<std::int16_t>(cursor)));
        case 0x0c:
            return stack.push(readAndAdvance<std::uint32_t>(cursor));
        case 0x0d:
            return stack.push(static_cast<std::uint64_t>(readAndAdvance<std::int32_t>(cursor)));
        case 0x0e:
        case 0x0f:
            return stack.push(readAndAdvance<std::uint64_t>(cursor));
        case 0x10:
            return stack.push(WRKParseULEB128AndAdvance(cursor));
        default:  // 0x11
            return stack.push(static_cast<std::uint64_t>(WRKParseLEB128AndAdvance(cursor)));
    }
}

// dup, drop, over, pick, swap and rot.
bool rearrangeStack(std::uint8_t op, const std::uint8_t** cursor, ExpressionStack& stack) {
    std::uint64_t a = 0;
    switch (op) {
        case 0x12:  // dup
            return stack.peek(0, &a) && stack.push(a);
        case 0x13:  // drop
            return stack.pop(&a);
        case 0x14:  // over
            return stack.peek(1, &a) && stack.push(a);
        case 0x15:  // pick
            return stack.peek(readAndAdvance<std::uint8_t>(cursor), &a) && stack.push(a);
        case 0x16: {  // swap
            std::uint64_t* top = stack.at(0);
            std::uint64_t* second = stack.at(1);
            if (top == nullptr || second == nullptr) {
                return false;
            }
            std::swap(*top, *second);
            return true;
        }
        default: {  // 0x17, rot: the top goes below the next two
            std::uint64_t* first = stack.at(0);
            std::uint64_t* second = stack.at(1);
            std::uint64_t* third = stack.at(2);
            if (third == nullptr) {
                return false;
            }
            const std::uint64_t top = *first;
            *first = *second;
            *second = *third;
            *third = top;
            return true;
        }
    }
}

// deref and deref_size: the word at the address on the top.
bool dereference(std::uint8_t op, const std::uint8_t** cursor, ExpressionStack& stack) {
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (op == 0x06) {  // deref
        return stack.pop(&a) && readWord(a, &b) && stack.push(b);
    }
    // deref_size
    const std::uint8_t size = readAndAdvance<std::uint8_t>(cursor);
    if (size == 0 || size > 8 || !stack.pop(&a) || !readWord(a, &b, size)) {
        return false;
    }
    return stack.push(b);
}

// abs, neg, not and plus_uconst: the top replaced.
bool unary(std::uint8_t op, const std::uint8_t** cursor, ExpressionStack& stack) {
    std::uint64_t a = 0;
    if (!stack.pop(&a)) {
        return false;
    }
    switch (op) {
        case 0x19: {  // abs
            const auto s = static_cast<std::int64_t>(a);
            return stack.push(s < 0 ? 0 - a : a);
        }
        case 0x1f:  // neg
            return stack.push(0 - a);
        case 0x20:  // not
            return stack.push(~a);
        default:  // 0x23, plus_uconst
            return stack.push(a + WRKParseULEB128AndAdvance(cursor));
    }
}

// bra and skip; the cursor stays within the expression.
bool jump(std::uint8_t op, const std::uint8_t** cursor, const std::uint8_t* start,
          const std::uint8_t* end, ExpressionStack& stack) {
    const auto offset = readAndAdvance<std::int16_t>(cursor);
    if (op == 0x28) {  // bra
        std::uint64_t a = 0;
        if (!stack.pop(&a)) {
            return false;
        }
        if (a != 0) {
            *cursor += offset;
        }
    } else {  // skip
        *cursor += offset;
    }
    return *cursor >= start && *cursor <= end;
}

bool isBinary(std::uint8_t op) {
    return (op >= 0x1a && op <= 0x1e) || op == 0x21 || op == 0x22 || (op >= 0x24 && op <= 0x27) ||
           (op >= 0x29 && op <= 0x2e);
}

bool executeOpcode(const std::uint8_t** cursor, const std::uint8_t* start, const std::uint8_t* end,
                   ExpressionStack& stack, const WRKThreadState& registers) {
    const std::uint8_t op = readAndAdvance<std::uint8_t>(cursor);
    if ((op >= 0x30 && op <= 0x8f) || op == 0x90 || op == 0x92) {
        return pushLiteralOrRegister(op, cursor, stack, registers);
    }
    if (op == 0x03 || (op >= 0x08 && op <= 0x11)) {
        return pushConstant(op, cursor, stack);
    }
    if (op >= 0x12 && op <= 0x17) {
        return rearrangeStack(op, cursor, stack);
    }
    if (op == 0x06 || op == 0x94) {
        return dereference(op, cursor, stack);
    }
    if (op == 0x19 || op == 0x1f || op == 0x20 || op == 0x23) {
        return unary(op, cursor, stack);
    }
    if (op == 0x28 || op == 0x2f) {
        return jump(op, cursor, start, end, stack);
    }
    if (isBinary(op)) {
        return binary(stack, op);
    }
    if (op == 0x96) {  // nop
        return true;
    }
    WRKSDKLogWarn("Error: Unrecognized DWARF expression opcode 0x%x\n", static_cast<unsigned>(op));
    return false;
}

// Sets a rule; rules for columns beyond the table (vector registers) are ignored.
void setRule(WRKDwarfRegisterState* state, std::uint64_t column, WRKDwarfRule rule) {
    if (column < kWRKDwarfColumnCount) {
        state->rules[column] = rule;
    }
}

// Runs call-frame instructions into a register state, up to the row that holds `pcLimit`.
class CallFrameProgram {
  public:
    CallFrameProgram(const std::uint8_t* cursor, const std::uint8_t* end, const WRKDwarfCIE& cie,
                     std::uint64_t location, std::uint64_t pcLimit,
                     const WRKDwarfRegisterState* initial, WRKDwarfRegisterState* state)
        : cursor_(cursor),
          end_(end),
          cie_(cie),
          location_(location),
          pcLimit_(pcLimit),
          initial_(initial),
          state_(state) {}

    bool run() {
        while (cursor_ < end_) {
            switch (step()) {
                case Outcome::Next:
                    break;
                case Outcome::Done:
                    return true;
                case Outcome::Failed:
                    return false;
            }
        }
        return true;
    }

  private:
    // Done: the row for the PC is complete.
    enum class Outcome { Next, Done, Failed };

    Outcome step() {
        const std::uint8_t op = readAndAdvance<std::uint8_t>(&cursor_);
        const std::uint8_t low = op & 0x3f;
        switch (op & 0xc0) {
            case 0x40:  // advance_loc
                return advanceBy(low * cie_.codeAlignment);
            case 0x80:  // offset
                setRule(state_, low,
                        {WRKDwarfRuleOffset,
                         static_cast<std::int64_t>(readULEB()) * cie_.dataAlignment, nullptr});
                return Outcome::Next;
            case 0xc0:  // restore
                if (initial_ == nullptr) {
                    return Outcome::Failed;  // a restore among the CIE's own instructions
                }
                if (low < kWRKDwarfColumnCount) {
                    state_->rules[low] = initial_->rules[low];
                }
                return Outcome::Next;
            default:
                return extended(op);
        }
    }

    Outcome extended(std::uint8_t op) {
        switch (op) {
            case 0x00:  // nop
            case 0x2d:  // GNU_window_save, or on aarch64 the return-address signing state
                return Outcome::Next;
            case 0x2e:  // GNU_args_size
                readULEB();
                return Outcome::Next;
            case 0x01:  // set_loc
                return setLocation();
            case 0x02:  // advance_loc1
                return advanceBy(readAndAdvance<std::uint8_t>(&cursor_) * cie_.codeAlignment);
            case 0x03:  // advance_loc2
                return advanceBy(readAndAdvance<std::uint16_t>(&cursor_) * cie_.codeAlignment);
            case 0x04:  // advance_loc4
                return advanceBy(readAndAdvance<std::uint32_t>(&cursor_) * cie_.codeAlignment);
            case 0x06:  // restore_extended
                return restoreExtended();
            case 0x0a:  // remember_state
                return rememberState();
            case 0x0b:  // restore_state
                return restoreState();
            case 0x0c:
            case 0x0d:
            case 0x0e:
            case 0x0f:
            case 0x12:
            case 0x13:
                defineCfa(op);
                return Outcome::Next;
            case 0x05:
            case 0x07:
            case 0x08:
            case 0x09:
            case 0x10:
            case 0x11:
            case 0x14:
            case 0x15:
            case 0x16:
            case 0x2f:
                registerRule(op);
                return Outcome::Next;
            default:
                WRKSDKLogWarn("Error: Unrecognized DWARF instruction 0x%x\n",
                              static_cast<unsigned>(op));
                return Outcome::Failed;
        }
    }

    // A row applies from its first address on: stop before one that starts past the PC.
    Outcome advanceBy(std::uint64_t advance) {
        if (location_ + advance > pcLimit_) {
            return Outcome::Done;
        }
        location_ += advance;
        return Outcome::Next;
    }

    Outcome setLocation() {
        std::uint64_t to = 0;
        if (!WRKParseAddressWithEncodingAndAdvance(&cursor_, cie_.pointerEncoding, 0, &to)) {
            return Outcome::Failed;
        }
        if (to > pcLimit_) {
            return Outcome::Done;
        }
        location_ = to;
        return Outcome::Next;
    }

    Outcome restoreExtended() {
        const std::uint64_t column = readULEB();
        if (initial_ == nullptr) {
            return Outcome::Failed;
        }
        if (column < kWRKDwarfColumnCount) {
            state_->rules[column] = initial_->rules[column];
        }
        return Outcome::Next;
    }

    Outcome rememberState() {
        if (rememberedCount_ == kRememberDepth) {
            WRKSDKLogWarn("Error: remember_state nested too deep\n");
            return Outcome::Failed;
        }
        remembered_[rememberedCount_++] = *state_;
        return Outcome::Next;
    }

    // The rules and the CFA come back (epilogues rely on the CFA too).
    Outcome restoreState() {
        if (rememberedCount_ == 0) {
            return Outcome::Failed;
        }
        const WRKDwarfRegisterState& saved = remembered_[--rememberedCount_];
        std::memcpy(state_->rules, saved.rules, sizeof state_->rules);
        state_->cfaRegister = saved.cfaRegister;
        state_->cfaOffset = saved.cfaOffset;
        state_->cfaExpression = saved.cfaExpression;
        return Outcome::Next;
    }

    // def_cfa and its variants: where the canonical frame address comes from.
    void defineCfa(std::uint8_t op) {
        switch (op) {
            case 0x0c:  // def_cfa
                state_->cfaRegister = readULEB();
                state_->cfaOffset = static_cast<std::int64_t>(readULEB());
                state_->cfaExpression = nullptr;
                break;
            case 0x0d:  // def_cfa_register
                state_->cfaRegister = readULEB();
                state_->cfaExpression = nullptr;
                break;
            case 0x0e:  // def_cfa_offset
                state_->cfaOffset = static_cast<std::int64_t>(readULEB());
                break;
            case 0x0f:  // def_cfa_expression
                state_->cfaExpression = cursor_;
                skipBlock();
                break;
            case 0x12:  // def_cfa_sf
                state_->cfaRegister = readULEB();
                state_->cfaOffset = WRKParseLEB128AndAdvance(&cursor_) * cie_.dataAlignment;
                state_->cfaExpression = nullptr;
                break;
            default:  // 0x13, def_cfa_offset_sf
                state_->cfaOffset = WRKParseLEB128AndAdvance(&cursor_) * cie_.dataAlignment;
                break;
        }
    }

    // The rules that say where one register's value of the caller is.
    void registerRule(std::uint8_t op) {
        const std::uint64_t column = readULEB();
        switch (op) {
            case 0x05:  // offset_extended
                setScaledRule(column, WRKDwarfRuleOffset, static_cast<std::int64_t>(readULEB()));
                break;
            case 0x11:  // offset_extended_sf
                setScaledRule(column, WRKDwarfRuleOffset, WRKParseLEB128AndAdvance(&cursor_));
                break;
            case 0x2f:  // GNU_negative_offset_extended
                setScaledRule(column, WRKDwarfRuleOffset, -static_cast<std::int64_t>(readULEB()));
                break;
            case 0x14:  // val_offset
                setScaledRule(column, WRKDwarfRuleValOffset, static_cast<std::int64_t>(readULEB()));
                break;
            case 0x15:  // val_offset_sf
                setScaledRule(column, WRKDwarfRuleValOffset, WRKParseLEB128AndAdvance(&cursor_));
                break;
            case 0x07:  // undefined
                setRule(state_, column, {WRKDwarfRuleUndefined, 0, nullptr});
                break;
            case 0x08:  // same_value
                setRule(state_, column, {WRKDwarfRuleSameValue, 0, nullptr});
                break;
            case 0x09:  // register
                setRule(state_, column,
                        {WRKDwarfRuleRegister, static_cast<std::int64_t>(readULEB()), nullptr});
                break;
            default: {  // 0x10 expression, 0x16 val_expression
                const std::uint8_t* expression = cursor_;
                skipBlock();
                setRule(state_, column,
                        {op == 0x10 ? WRKDwarfRuleExpression : WRKDwarfRuleValExpression, 0,
                         expression});
                break;
            }
        }
    }

    void setScaledRule(std::uint64_t column, WRKDwarfRuleKind kind, std::int64_t factor) {
        setRule(state_, column, {kind, factor * cie_.dataAlignment, nullptr});
    }

    std::uint64_t readULEB() { return WRKParseULEB128AndAdvance(&cursor_); }

    // An expression's bytes, after their length.
    void skipBlock() {
        const std::uint64_t length = readULEB();
        cursor_ += length;
    }

    const std::uint8_t* cursor_;
    const std::uint8_t* end_;
    const WRKDwarfCIE& cie_;
    std::uint64_t location_;
    std::uint64_t pcLimit_;
    const WRKDwarfRegisterState* initial_;
    WRKDwarfRegisterState* state_;
    WRKDwarfRegisterState remembered_[kRememberDepth];
    std::size_t rememberedCount_ = 0;
};

bool runInstructions(const std::uint8_t* cursor, const std::uint8_t* end, const WRKDwarfCIE& cie,
                     std::uint64_t location, std::uint64_t pcLimit,
                     const WRKDwarfRegisterState* initial, WRKDwarfRegisterState* state) {
    return CallFrameProgram(cursor, end, cie, location, pcLimit, initial, state).run();
}

}  // namespace

std::uint64_t WRKParseULEB128AndAdvance(const std::uint8_t** cursor) {
    std::uint64_t value = 0;
    unsigned shift = 0;
    for (;;) {
        const std::uint8_t byte = *(*cursor)++;
        if (shift < 64) {
            value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        }
        shift += 7;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
}

std::int64_t WRKParseLEB128AndAdvance(const std::uint8_t** cursor) {
    std::uint64_t value = 0;
    unsigned shift = 0;
    std::uint8_t byte = 0;
    do {
        byte = *(*cursor)++;
        if (shift < 64) {
            value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        }
        shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40)) {
        value |= ~std::uint64_t{0} << shift;
    }
    return static_cast<std::int64_t>(value);
}

bool WRKParseAddressWithEncodingAndAdvance(const std::uint8_t** cursor, std::uint8_t encoding,
                                           std::uint64_t dataBase, std::uint64_t* out) {
    if (encoding == 0xff) {
        *out = 0;
        return true;
    }
    const auto fieldStart = reinterpret_cast<std::uintptr_t>(*cursor);
    std::uint64_t value = 0;
    switch (encoding & 0x0f) {
        case 0x00:
        case 0x04:
        case 0x0c:
            value = readAndAdvance<std::uint64_t>(cursor);
            break;
        case 0x01:
            value = WRKParseULEB128AndAdvance(cursor);
            break;
        case 0x02:
            value = readAndAdvance<std::uint16_t>(cursor);
            break;
        case 0x03:
            value = readAndAdvance<std::uint32_t>(cursor);
            break;
        case 0x09:
            value = static_cast<std::uint64_t>(WRKParseLEB128AndAdvance(cursor));
            break;
        case 0x0a:
            value = static_cast<std::uint64_t>(
                static_cast<std::int64_t>(readAndAdvance<std::int16_t>(cursor)));
            break;
        case 0x0b:
            value = static_cast<std::uint64_t>(
                static_cast<std::int64_t>(readAndAdvance<std::int32_t>(cursor)));
            break;
        default:
            WRKSDKLogWarn("Unhandled: encoding 0x%x\n", static_cast<unsigned>(encoding));
            return false;
    }
    switch (encoding & 0x70) {
        case 0x00:
            break;
        case 0x10:
            value += fieldStart;
            break;
        case 0x30:
            if (dataBase == 0) {
                return false;
            }
            value += dataBase;
            break;
        default:
            WRKSDKLogWarn("Unhandled: relative encoding 0x%x\n", static_cast<unsigned>(encoding));
            return false;
    }
    if (encoding & 0x80) {
        std::uint64_t target = 0;
        if (!readWord(value, &target)) {
            return false;
        }
        value = target;
    }
    *out = value;
    return true;
}

bool WRKDwarfParseCIE(const std::uint8_t* at, WRKDwarfCIE* cie) {
    *cie = WRKDwarfCIE{};
    const std::uint8_t* cursor = at;
    const std::uint8_t* end = nullptr;
    if (!recordBounds(&cursor, &end)) {
        WRKSDKLogWarn("Error: CIE length invalid\n");
        return false;
    }
    if (readAndAdvance<std::uint32_t>(&cursor) != 0) {
        WRKSDKLogWarn("Error: CIE flag not found\n");
        return false;
    }
    cie->version = readAndAdvance<std::uint8_t>(&cursor);
    if (cie->version != 1 && cie->version != 3) {
        WRKSDKLogWarn("Error: CIE version %u unsupported\n", static_cast<unsigned>(cie->version));
        return false;
    }
    const auto* augmentation = reinterpret_cast<const char*>(cursor);
    cursor += std::strlen(augmentation) + 1;
    cie->codeAlignment = WRKParseULEB128AndAdvance(&cursor);
    cie->dataAlignment = WRKParseLEB128AndAdvance(&cursor);
    cie->returnAddressColumn = cie->version == 1 ? readAndAdvance<std::uint8_t>(&cursor)
                                                 : WRKParseULEB128AndAdvance(&cursor);
    if (augmentation[0] != '\0') {
        if (augmentation[0] != 'z') {
            WRKSDKLogWarn("Error: Unimplemented: augmentation string %s\n", augmentation);
            return false;
        }
        cie->hasAugmentationData = true;
        const std::uint64_t length = WRKParseULEB128AndAdvance(&cursor);
        const std::uint8_t* dataEnd = cursor + length;
        for (const char* letter = augmentation + 1; *letter != '\0'; ++letter) {
            switch (*letter) {
                case 'L':
                    cursor += 1;
                    break;
                case 'P': {
                    const std::uint8_t encoding = readAndAdvance<std::uint8_t>(&cursor);
                    std::uint64_t personality = 0;
                    // The handler itself is not needed to unwind: an indirect one is not read.
                    if (!WRKParseAddressWithEncodingAndAdvance(
                            &cursor, static_cast<std::uint8_t>(encoding & 0x7f), 0, &personality)) {
                        return false;
                    }
                    break;
                }
                case 'R':
                    cie->pointerEncoding = readAndAdvance<std::uint8_t>(&cursor);
                    break;
                case 'S':
                    cie->signalFrame = true;
                    break;
                case 'B':  // aarch64 pointer-authentication key B: nothing to read
                    break;
                default:
                    WRKSDKLogWarn("Error: Unhandled augmentation string entry %s\n", letter);
                    return false;
            }
            if (cursor > dataEnd) {
                return false;
            }
        }
        cursor = dataEnd;
    }
    cie->instructions = cursor;
    cie->instructionsEnd = end;
    return cursor <= end;
}

bool WRKDwarfParseFDE(const std::uint8_t* at, WRKDwarfFDE* fde, WRKDwarfCIE* cie) {
    *fde = WRKDwarfFDE{};
    const std::uint8_t* cursor = at;
    const std::uint8_t* end = nullptr;
    if (!recordBounds(&cursor, &end)) {
        WRKSDKLogWarn("Error: FDE has zero length\n");
        return false;
    }
    const std::uint8_t* ciePointerField = cursor;
    const std::uint32_t ciePointer = readAndAdvance<std::uint32_t>(&cursor);
    if (ciePointer == 0) {
        WRKSDKLogWarn("Error: CIE offset invalid\n");
        return false;
    }
    if (!WRKDwarfParseCIE(ciePointerField - ciePointer, cie)) {
        WRKSDKLogWarn("Error: Unable to parse CIE record\n");
        return false;
    }
    std::uint64_t begin = 0;
    std::uint64_t range = 0;
    if (!WRKParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding, 0, &begin) ||
        !WRKParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding & 0x0f, 0, &range)) {
        WRKSDKLogWarn("Error: Found an invalid start address\n");
        return false;
    }
    if (cie->hasAugmentationData) {
        cursor += WRKParseULEB128AndAdvance(&cursor);
    }
    fde->pcBegin = begin;
    fde->pcEnd = begin + range;
    fde->instructions = cursor;
    fde->instructionsEnd = end;
    return cursor <= end;
}

bool WRKDwarfFindFDE(std::uintptr_t header, std::uint64_t pc, WRKDwarfFDE* fde, WRKDwarfCIE* cie) {
    if (header < 0x1000) {
        return false;
    }
    // The table may name a library unloaded since it was last looked at: make sure its
    // header is still mapped before reading it in place.
    std::uint32_t probe = 0;
    if (!WRKReadMemory(WRKAddressPointer(header), &probe, sizeof probe)) {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(WRKAddressPointer(header));
    if (bytes[0] != 1) {
        return false;
    }
    const std::uint8_t frameEncoding = bytes[1];
    const std::uint8_t countEncoding = bytes[2];
    const std::uint8_t tableEncoding = bytes[3];
    const std::uint8_t* cursor = bytes + 4;
    std::uint64_t ehFrame = 0;
    std::uint64_t count = 0;
    if (!WRKParseAddressWithEncodingAndAdvance(&cursor, frameEncoding, header, &ehFrame) ||
        !WRKParseAddressWithEncodingAndAdvance(&cursor, countEncoding, header, &count)) {
        return false;
    }
    // The linkers write the table as pairs of data-relative 4-byte values, sorted.
    if (tableEncoding != 0x3b || count == 0) {
        return false;
    }
    const auto* table = reinterpret_cast<const std::int32_t*>(cursor);
    const auto entry = [&](std::uint64_t i, int field) {
        std::int32_t value;
        std::memcpy(&value, table + 2 * i + field, sizeof value);
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(value)) + header;
    };
    std::uint64_t low = 0;
    std::uint64_t high = count;
    while (high - low > 1) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (entry(middle, 0) <= pc) {
            low = middle;
        } else {
            high = middle;
        }
    }
    if (entry(low, 0) > pc) {
        return false;
    }
    const auto* record = static_cast<const std::uint8_t*>(WRKAddressPointer(entry(low, 1)));
    std::uint64_t recordStart = 0;
    if (!WRKReadMemory(record, &recordStart, sizeof recordStart)) {
        return false;
    }
    return WRKDwarfParseFDE(record, fde, cie) && pc >= fde->pcBegin && pc < fde->pcEnd;
}

bool WRKDwarfRowForPC(const WRKDwarfCIE& cie, const WRKDwarfFDE& fde, std::uint64_t pc,
                      WRKDwarfRegisterState* state) {
    *state = WRKDwarfRegisterState{};
    if (!runInstructions(cie.instructions, cie.instructionsEnd, cie, fde.pcBegin, ~std::uint64_t{0},
                         nullptr, state)) {
        WRKSDKLogWarn("Error: Unable to run CIE instructions\n");
        return false;
    }
    if (pc < fde.pcBegin) {
        WRKSDKLogWarn("Error: The FDE pcOffset value cannot be negative\n");
        return false;
    }
    const WRKDwarfRegisterState initial = *state;
    if (!runInstructions(fde.instructions, fde.instructionsEnd, cie, fde.pcBegin, pc, &initial,
                         state)) {
        WRKSDKLogWarn("Error: Unable to run FDE instructions\n");
        return false;
    }
    return true;
}

bool WRKDwarfEvaluateExpression(const std::uint8_t* expression, const WRKThreadState& registers,
                                std::uint64_t initial, bool pushInitial, std::uint64_t* out) {
    if (reinterpret_cast<std::uintptr_t>(expression) < 0x1000 || out == nullptr) {
        WRKSDKLogWarn("Error: inputs invalid\n");
        return false;
    }
    const std::uint8_t* cursor = expression;
    const std::uint64_t length = WRKParseULEB128AndAdvance(&cursor);
    if (length == 0) {
        WRKSDKLogWarn("Error: DWARF expression length is zero\n");
        return false;
    }
    const std::uint8_t* start = cursor;
    const std::uint8_t* end = cursor + length;
    ExpressionStack stack;
    if (pushInitial) {
        stack.push(initial);
    }
    while (cursor < end) {
        if (!executeOpcode(&cursor, start, end, stack, registers)) {
            WRKSDKLogWarn("Error: failed to execute DWARF machine opcode\n");
            return false;
        }
    }
    if (cursor != end || !stack.peek(0, out)) {
        WRKSDKLogWarn("Error: failed to get DWARF expression result\n");
        return false;
    }
    return true;
}

int WRKDwarfStateIndex(std::uint64_t column) {
#if defined(__x86_64__)
    // DWARF: rax rdx rcx rbx rsi rdi rbp rsp r8-r15 ra; the state: rax rbx rcx rdx rdi rsi ...
    static constexpr int map[] = {0, 3, 2, 1, 5, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    return column < std::size(map) ? map[column] : -1;
#elif defined(__aarch64__)
    return column <= 32 ? static_cast<int>(column) : -1;
#else
    (void)column;
    return -1;
#endif
}

WRKDwarfStep WRKDwarfUnwindComputeRegisters(std::uintptr_t ehFrameHeader, std::uint64_t lookupPC,
                                            WRKThreadState* state, bool* signalFrame) {
    WRKDwarfFDE fde;
    WRKDwarfCIE cie;
    if (state == nullptr || !WRKDwarfFindFDE(ehFrameHeader, lookupPC, &fde, &cie)) {
        return WRKDwarfStep::Failed;
    }
    return WRKDwarfUnwindComputeRegistersWithFDE(fde, cie, lookupPC, state, signalFrame);
}

WRKDwarfStep WRKDwarfUnwindComputeRegistersWithFDE(const WRKDwarfFDE& fde, const WRKDwarfCIE& cie,
                                                   std::uint64_t lookupPC, WRKThreadState* state,
                                                   bool* signalFrame) {
    WRKDwarfRegisterState rules;
    if (state == nullptr || !WRKDwarfRowForPC(cie, fde, lookupPC, &rules) ||
        cie.returnAddressColumn >= kWRKDwarfColumnCount) {
        return WRKDwarfStep::Failed;
    }
    const WRKThreadState before = *state;
    std::uint64_t cfa = 0;
    if (rules.cfaExpression != nullptr) {
        if (!WRKDwarfEvaluateExpression(rules.cfaExpression, before, 0, false, &cfa)) {
            WRKSDKLogWarn("Error: failed to compute CFA expression\n");
            return WRKDwarfStep::Failed;
        }
    } else {
        bool ok = true;
        cfa = registerValue(before, rules.cfaRegister, &ok) +
              static_cast<std::uint64_t>(rules.cfaOffset);
        if (!ok) {
            WRKSDKLogWarn("Error: failed to get CFA\n");
            return WRKDwarfStep::Failed;
        }
    }
    if (rules.rules[cie.returnAddressColumn].kind == WRKDwarfRuleUndefined) {
        return WRKDwarfStep::Outermost;
    }
    WRKThreadState after = before;
    for (std::size_t column = 0; column < kWRKDwarfColumnCount; ++column) {
        const WRKDwarfRule& rule = rules.rules[column];
        const int index = WRKDwarfStateIndex(column);
        if (index < 0) {
            continue;
        }
        std::uint64_t value = 0;
        bool ok = true;
        switch (rule.kind) {
            case WRKDwarfRuleUnspecified:
            case WRKDwarfRuleSameValue:
                continue;
            case WRKDwarfRuleUndefined:
                value = 0;
                break;
            case WRKDwarfRuleOffset:
                ok = readWord(cfa + static_cast<std::uint64_t>(rule.value), &value);
                break;
            case WRKDwarfRuleValOffset:
                value = cfa + static_cast<std::uint64_t>(rule.value);
                break;
            case WRKDwarfRuleRegister:
                value = registerValue(before, static_cast<std::uint64_t>(rule.value), &ok);
                break;
            case WRKDwarfRuleExpression:
                ok = WRKDwarfEvaluateExpression(rule.expression, before, cfa, true, &value) &&
                     readWord(value, &value);
                break;
            case WRKDwarfRuleValExpression:
                ok = WRKDwarfEvaluateExpression(rule.expression, before, cfa, true, &value);
                break;
            default:
                ok = false;
                break;
        }
        // A register whose saved value cannot be read is not known: 0 rather than a guess.
        after.registers[index] = ok ? value : 0;
    }
    const int returnIndex = WRKDwarfStateIndex(cie.returnAddressColumn);
    after.registers[WRKThreadState::kPC] = after.registers[returnIndex];
    after.registers[WRKThreadState::kSP] = cfa;
    if (after.registers[WRKThreadState::kSP] == before.registers[WRKThreadState::kSP] &&
        after.registers[WRKThreadState::kPC] == before.registers[WRKThreadState::kPC]) {
        WRKSDKLogWarn("Error: Stack pointer hasn't changed\n");
        return WRKDwarfStep::Failed;
    }
    if (signalFrame != nullptr) {
        *signalFrame = cie.signalFrame;
    }
    *state = after;
    return WRKDwarfStep::Stepped;
}

}  // namespace talvor::crash
