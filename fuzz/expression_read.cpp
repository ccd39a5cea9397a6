// Compiled expressions from arbitrary bytes: a read either succeeds, and the expression then
// writes out a form that reads back and writes the same, and runs against a fresh variable
// table, or raises one of the engine's own errors and leaves the expression empty.
// Seed corpus: make_script_corpus.py
#include "fuzz/harness.h"

#include "script/params_parser.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TVelaParser expression;
    try {
        expression.LoadFromStream(stream);
    } catch (const EVelaError&) {
        fuzz::Check(expression.Count() == 0);
        return 0;
    }
    const std::string written = fuzz::Written(expression);
    TMemoryStream again = fuzz::StreamOf(written.data(), written.size());
    TVelaParser back;
    back.LoadFromStream(again);
    fuzz::Check(fuzz::Written(back) == written);

    try {
        CreateParamMan();
        CreateSysFuncMan();
        expression.Execute();
    } catch (const EVelaError&) {
    } catch (const EMemoryBudget&) {
    }
    FreeSysFuncMan();
    FreeParamMan();
    return 0;
}
