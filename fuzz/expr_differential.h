#pragma once
// Planned expression runs against runs that create every temporary in the variable table. Bytes
// pick an expression (compiled, or a list of operations as no compiler writes them) over int, float, flag and string variables, an array, a reference variable,
// a system variable, names differing only in case, missing names and divisions by zero, and
// what changes between two runs (a variable retyped or made an array, "@Temp" naming a
// temporary, a variable taking a temporary's name). Both ways run in a fresh table each; the
// results, every variable and the table's count must agree.
#include "script/params_funcs.h"
#include "script/params_parser.h"

#include <cstdint>
#include <string>

namespace exprdiff {

class TBytes {
public:
    TBytes(const uint8_t* Data, size_t Size) : data_(Data), size_(Size) {}
    uint8_t Next() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    template <size_t N>
    const char* Pick(const char* const (&Choices)[N]) {
        return Choices[Next() % N];
    }

private:
    const uint8_t* data_;
    size_t size_;
};

inline std::string Expr(TBytes& In, int Depth);

inline std::string Term(TBytes& In, int Depth) {
    static const char* const terms[] = {"i", "I", "j", "f", "b", "s", "r", "aB", "nope", "@TextDelay",
                                        "@Temp", "0", "1", "7", "-3", "2147483647", "2.5", "0.0", "TRUE",
                                        "FALSE", "\"ab\"", "\"12\"", "arr[]"};
    std::string term = In.Pick(terms);
    if (term == "arr[]") return "arr[" + Expr(In, Depth - 1) + "," + Expr(In, Depth - 1) + "]";
    return term;
}

inline std::string Expr(TBytes& In, int Depth) {
    static const char* const operators[] = {"+",  "-",  "*",  "/",  "%",  "|", "&",  "^", "<<",
                                            ">>", "==", ">=", "<=", ">", "<", "<>", "++"};
    const uint8_t shape = In.Next() % 4;
    if (Depth <= 0 || shape == 0) return Term(In, Depth);
    const std::string text = Expr(In, Depth - 1) + " " + In.Pick(operators) + " " + Expr(In, Depth - 1);
    return shape == 1 ? "(" + text + ")" : text;
}

// A statement: an assignment to a variable, an element or a name that does not exist, or an
// expression whose value is the result.
inline std::string Statement(TBytes& In) {
    static const char* const targets[] = {"", "", "i", "I", "f", "b", "s", "r", "aB", "nope", "@TextDelay", "@Temp",
                                          "arr[1,0]"};
    const std::string target = In.Pick(targets);
    const std::string value = Expr(In, 3);
    return target.empty() ? value : target + " = " + value;
}

// A list of operations of any code but ocFunc, with temporaries written twice or read before
// they are written, elements of temporaries, operands missing or to spare.
inline void RawOperations(TBytes& In, TVelaParser& Expression) {
    static const char* const dests[] = {"____0", "____1", "____arg", "____ARG", "____d_0", "i", "s", "nope"};
    static const char* const names[] = {"i", "I", "f", "b", "s", "arr", "r", "____0", "____1", "____d_0", "nope", "@Temp"};
    static const char* const literals[] = {"0", "1", "-7", "2.5", "TRUE", "\"12\"", "\"ab\""};
    const int count = 1 + In.Next() % 6;
    for (int n = 0; n < count; ++n) {
        TOpeData op;
        op.Code = In.Next() % (OpCodeCount + 1);
        if (op.Code == ocFunc) op.Code = ocTo;
        op.Dest = n + 1 == count && In.Next() % 2 ? "____arg" : In.Pick(dests);
        const int args = In.Next() % 4;
        for (int a = 0; a < args; ++a) {
            if (In.Next() % 2)
                op.Args.push_back(std::make_unique<TParamVar>(In.Pick(names)));
            else
                op.Args.push_back(OperandValue(In.Pick(literals)));
        }
        Expression.Add(op);
    }
}

inline TParamCollectionItem& Declare(const std::string& Name, uint8_t Type) {
    TParamCollectionItem& item = ParamMan->AddParam(Type);
    item.SetName(Name);
    return item;
}

// The variables every run starts from.
inline void MakeWorld(uint8_t Variant) {
    Declare("i", PT_INT).SetAsInt(5);
    Declare("j", PT_INT).SetAsInt(-3);
    Declare("f", PT_FLOAT).SetAsFloat(2.5L);
    Declare("b", PT_BOOL).SetAsBool(true);
    Declare("s", PT_STR).SetAsStr("12");
    Declare("Ab", PT_INT).SetAsInt(40);
    TParamCollectionItem& arr = Declare("arr", PT_INT);
    arr.SetDims({3, 2});
    for (int32_t k = 0; k < 6; ++k) arr.SetIntAt(k, k * 10 + 1);
    Declare("r", PT_NONE).SetReference("arr", {2, 1});
    ParamMan->SetTempVarName(Variant & 1 ? "____0" : "j");
    if (Variant & 2) Declare("____1", PT_STR).SetAsStr("x");
}

// What changes between the two runs.
inline void Change(uint8_t What) {
    static const char* const names[] = {"i", "f", "b", "s", "arr", "Ab"};
    TParamCollectionItem* item = ParamMan->Find(names[What % 6]);
    switch (What / 6 % 4) {
        case 0: item->SetParamType(static_cast<uint8_t>(PT_INT + (What / 24) % 4)); break;
        case 1: item->SetDims({2}); break;
        case 2: ParamMan->SetTempVarName(What & 1 ? "____1" : "i"); break;
        default: break;
    }
}

inline std::string Snapshot(const TCustomParam* Result) {
    std::string text = Result ? std::to_string(Result->ParamType()) + ":" + Result->AsStr() : "none";
    text += "|count " + std::to_string(ParamMan->Count()) + "|delay " + std::to_string(ParamMan->TextDelay());
    for (int i = 0; i < ParamMan->Count(); ++i) {
        const TParamCollectionItem& item = ParamMan->Items(i);
        if (item.IsSystem()) continue;
        text += "|" + item.Name() + " " + std::to_string(StoredTypeCode(item.Value())) + " " +
                std::to_string(item.GetParamType()) + " [";
        for (int32_t d = 0; d < item.DimCount(); ++d) text += std::to_string(item.Dim(d)) + ",";
        text += "]";
        for (int32_t k = 0; k < item.Count(); ++k) {
            try {
                text += " " + item.GetStrAt(k);
            } catch (const EVelaError& e) {
                text += std::string(" error ") + e.what();  // a reference whose element has gone
            }
        }
    }
    return text;
}

// Both runs of Expression through one way in a fresh table.
inline std::string RunBoth(TVelaParser& Expression, bool Planned, uint8_t Variant, uint8_t What) {
    CreateParamMan();
    CreateSysFuncMan();
    std::string text;
    try {
        MakeWorld(Variant);
        for (int run = 0; run < 2; ++run) {
            if (run == 1) Change(What);
            if (Planned)
                Expression.Execute();
            else
                Expression.ExecuteUnplanned();
            text += Snapshot(Expression.Result()) + "\n";
        }
    } catch (...) {
        FreeSysFuncMan();
        FreeParamMan();
        throw;
    }
    FreeSysFuncMan();
    FreeParamMan();
    return text;
}

// "" when both ways agree on the expression the bytes pick, else the expression and both
// outcomes.
inline std::string Differential(const uint8_t* Data, size_t Size) {
    TBytes in(Data, Size);
    const uint8_t variant = in.Next(), what = in.Next();
    TVelaParser planned, unplanned;
    std::string text = "(operations)";
    if (variant & 4) {
        RawOperations(in, planned);
    } else {
        text = Statement(in);
        try {
            CompileExpression(text, planned);
        } catch (const EVelaError&) {
            return "";  // a syntax error has nothing to run
        }
    }
    unplanned.Assign(planned);
    const std::string fast = RunBoth(planned, true, variant, what);
    const std::string general = RunBoth(unplanned, false, variant, what);
    return fast == general ? "" : text + "\nplanned:\n" + fast + "table:\n" + general;
}

}  // namespace exprdiff
