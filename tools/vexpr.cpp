// vexpr: compiles one script expression, shows its operations, stores and reloads them, runs
// them against a fresh variable table and shows the result and the variables. The expression
// and the terminal speak UTF-8; the engine works in Shift-JIS.
#include "core/sysutils.h"
#include "platform/encoding.h"
#include "script/params_funcs.h"
#include "script/params_parser.h"
#include "script/params_vars.h"
#include "tools/toolkit.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using toolkit::EUsage;
using toolkit::ForTerminal;

constexpr const char* kUsage =
    "usage: vexpr [DECLARATION...] EXPRESSION\n"
    "       vexpr --hex EXPRESSION   prints only the stored form, as hexadecimal on one line\n"
    "       vexpr --hex-stream       reads expressions, each a line of hexadecimal UTF-8, and prints\n"
    "                                for each its stored form as --hex does, or \"error: ...\"\n"
    "  --int NAME[=VALUE]  --float NAME[=VALUE]  --bool NAME[=VALUE]  --str NAME[=VALUE]\n"
    "      declare a variable before the run; NAME[3,4] makes an array, every element VALUE\n"
    "exit status: 0 when the expression compiles and stores, 1 when it does not, 2 for bad arguments\n";

const char* TypeName(TParamType Type) {
    static const char* const names[] = {"ref", "int", "float", "bool", "str"};
    return Type <= PT_STR ? names[Type] : "?";
}

// One element of a value, strings in quotes.
std::string ElementText(const TCustomParam& Value, int32_t I) {
    const std::string text = ForTerminal(Value.GetStrAt(I));
    return Value.ParamType() == PT_STR ? "\"" + text + "\"" : text;
}

// "int 5", "str[2] "a","b"".
std::string ValueText(const TCustomParam& Value) {
    std::string text = TypeName(Value.ParamType());
    if (Value.Count() != 1 || Value.DimCount() != 1 || Value.Dim(0) != 1) {
        std::vector<int32_t> dims;
        for (int32_t i = 0; i < Value.DimCount(); ++i) dims.push_back(Value.Dim(i));
        text += "[" + IntListToStr(dims) + "]";
    }
    for (int32_t i = 0; i < Value.Count(); ++i) text += (i == 0 ? " " : ",") + ElementText(Value, i);
    return text;
}

// An operand of a stored operation with its kind.
std::string OperandText(const TCustomParam& Operand) {
    if (const auto* reference = dynamic_cast<const TParamVar*>(&Operand))
        return "var " + ForTerminal(reference->TargetName());
    return ValueText(Operand);
}

void PrintCompiled(const TBuildVelaParser& Compiler) {
    std::printf("compiled: %d operations\n", Compiler.Count());
    for (int i = 0; i < Compiler.Count(); ++i) {
        const TBuildOpeData& op = Compiler.GetOperation(i);
        std::string args;
        for (const std::string& arg : op.Args) args += (args.empty() ? "" : ", ") + ForTerminal(arg);
        std::printf("  %2d %-10s %s <- %s\n", i + 1, OpCodeNames[op.Code], ForTerminal(op.Dest).c_str(), args.c_str());
    }
}

void PrintStored(const TVelaParser& Expression) {
    for (int i = 0; i < Expression.Count(); ++i) {
        const TOpeData op = Expression.Operation(i);
        std::string args;
        for (const auto& arg : op.Args) args += (args.empty() ? "" : ", ") + OperandText(*arg);
        if (op.Code == ocFunc) args = std::string(SysFuncNames[op.FuncIndex]) + "(" + args + ")";
        std::printf("  %2d %-10s %s <- %s\n", i + 1, OpCodeNames[op.Code], ForTerminal(op.Dest).c_str(), args.c_str());
    }
}

std::string StreamBytes(TMemoryStream& Stream) {
    return std::string(reinterpret_cast<const char*>(Stream.Memory()), static_cast<size_t>(Stream.Size()));
}

void PrintHex(const std::string& Bytes) {
    for (const char c : Bytes) std::printf("%02x", static_cast<unsigned char>(c));
    std::printf("\n");
}

// One process compiles every expression of a title: the page writer starts it once and feeds it
// a line per expression, each as hexadecimal so that any text, line breaks included, fits a line.
int HexStream() {
    std::string line;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        std::string text;
        bool hex = line.size() % 2 == 0;
        for (size_t i = 0; hex && i < line.size(); i += 2) {
            unsigned char byte = 0;
            const auto [end, error] = std::from_chars(line.data() + i, line.data() + i + 2, byte, 16);
            hex = error == std::errc() && end == line.data() + i + 2;
            text += static_cast<char>(byte);
        }
        line.clear();
        if (!hex) {
            std::printf("error: not a line of hexadecimal\n");
        } else {
            try {
                TBuildVelaParser compiler;
                compiler.Build(platform::Utf8ToCp932(text));
                TMemoryStream stored;
                compiler.SaveToStream(stored);
                PrintHex(StreamBytes(stored));
            } catch (const EVelaError& e) {
                std::printf("error: %s\n", ForTerminal(e.what()).c_str());
            }
        }
        std::fflush(stdout);
    }
    return 0;
}

// "--int a[2,3]=5": a new variable of the type, its sizes and the value of every element.
void Declare(TParamType Type, const std::string& Declaration) {
    std::string name = platform::Utf8ToCp932(Declaration);
    std::string value;
    if (const size_t equals = name.find('='); equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.erase(equals);
    }
    std::vector<int32_t> dims;
    if (const size_t open = name.find('['); open != std::string::npos) {
        if (name.back() != ']') throw EUsage();
        std::string sizes = name.substr(open + 1, name.size() - open - 2);
        for (size_t from = 0; from <= sizes.size();) {
            const size_t comma = std::min(sizes.find(',', from), sizes.size());
            int32_t size;
            if (!TryStrToInt(sizes.substr(from, comma - from), size, TIntSyntax::Decimal)) throw EUsage();
            dims.push_back(size);
            from = comma + 1;
        }
        name.erase(open);
    }
    TParamCollectionItem& item = ParamMan->AddParam(Type);
    item.SetName(name);
    item.SetDims(dims);
    for (int32_t i = 0; i < item.Count(); ++i) item.Value().SetStrAt(i, value);
}

int Run(int argc, char** argv) {
    CreateParamMan();
    CreateSysFuncMan();
    std::string text;
    bool haveText = false, hexOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--hex") {
            hexOnly = true;
            continue;
        }
        if (arg == "--hex-stream") {
            if (argc != 2) throw EUsage();
            return HexStream();
        }
        static const std::pair<const char*, TParamType> kinds[] = {
            {"--int", PT_INT}, {"--float", PT_FLOAT}, {"--bool", PT_BOOL}, {"--str", PT_STR}};
        bool declared = false;
        for (const auto& [option, type] : kinds)
            if (arg == option) {
                if (++i >= argc) throw EUsage();
                Declare(type, argv[i]);
                declared = true;
            }
        if (declared) continue;
        if (haveText) throw EUsage();
        text = platform::Utf8ToCp932(arg);
        haveText = true;
    }
    if (!haveText) throw EUsage();

    TBuildVelaParser compiler;
    TMemoryStream stored;
    auto failed = [](const EVelaError& e) {
        std::printf("error: %s\n", ForTerminal(e.what()).c_str());
        return 1;
    };
    try {
        compiler.Build(text);
    } catch (const EVelaError& e) {
        return failed(e);
    }
    if (!hexOnly) PrintCompiled(compiler);
    try {
        compiler.SaveToStream(stored);
    } catch (const EVelaError& e) {
        return failed(e);
    }
    if (hexOnly) {
        PrintHex(StreamBytes(stored));
        return 0;
    }

    TVelaParser expression;
    stored.SetPosition(0);
    expression.LoadFromStream(stored);
    TMemoryStream again;
    expression.SaveToStream(again);
    std::printf("stored: %lld bytes, %s\n", static_cast<long long>(stored.Size()),
                StreamBytes(stored) == StreamBytes(again) ? "reloaded and stored again byte for byte"
                                                          : "DIFFERENT when reloaded and stored again");
    PrintStored(expression);

    expression.Execute();
    const TCustomParam* result = expression.Result();
    std::printf("result: %s\n", result ? ValueText(*result).c_str() : "none");
    std::printf("variables:\n");
    for (int i = SysVarCount; i < ParamMan->Count(); ++i) {
        const TParamCollectionItem& item = ParamMan->Items(i);
        std::printf("  %s = %s\n", ForTerminal(item.Name()).c_str(), ValueText(item.Value()).c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const int status = Run(argc, argv);
        FreeSysFuncMan();
        FreeParamMan();
        return status;
    } catch (const EUsage&) {
        std::fputs(kUsage, stderr);
    } catch (const EVelaError& e) {
        std::fprintf(stderr, "vexpr: %s\n", ForTerminal(e.what()).c_str());
    }
    return 2;
}
