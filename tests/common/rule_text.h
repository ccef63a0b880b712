// Rule command texts for tests and benchmarks, in the grammar the rule model
// writes: "\WINDOWRULENAME=" name, then ACTION pairs, then TRIGGER pairs.
#pragma once

#include <string>
#include <vector>

namespace omb::test::rule {

// TYPE{\NAME=name\SAVECURRENTOPERATION=yes|no\EXTRA}; EXTRA is empty or one
// pair with its own leading backslash ("\RUNMODE=minimize").
inline std::string Action(const std::string& type, const std::string& name, bool saveCurrent = false,
                          const std::string& extra = std::string()) {
    return type + "{\\NAME=" + name + "\\SAVECURRENTOPERATION=" + (saveCurrent ? "yes" : "no") + "\\" +
           extra + "}";
}

// {\NAME=..\ACTIONNAME=..\ACTIONKIND=next|concrete\OPERATIONNAME=..}
inline std::string Agent(const std::string& name, const std::string& actionName, const std::string& kind,
                         const std::string& operation = std::string()) {
    return "{\\NAME=" + name + "\\ACTIONNAME=" + actionName + "\\ACTIONKIND=" + kind +
           "\\OPERATIONNAME=" + operation + "}";
}

inline std::string Trigger(const std::string& type, const std::vector<std::string>& agents,
                           bool lagEnabled = false, int lagInterval = 0) {
    std::string text = type + "{\\LAG_ENABLED=" + (lagEnabled ? "yes" : "no") +
                       "\\LAG_INTERVAL=" + std::to_string(lagInterval);
    for (const std::string& a : agents) text += "\\AGENT=" + a;
    return text + "}";
}

inline std::string OnCreate(const std::vector<std::string>& agents, bool lagEnabled = false,
                            int lagInterval = 0) {
    return Trigger("WMCREATEMESSAGETRIGGER", agents, lagEnabled, lagInterval);
}

inline std::string OnDestroy(const std::vector<std::string>& agents) {
    return Trigger("WMDESTROYMESSAGETRIGGER", agents);
}

inline std::string Rule(const std::string& name, const std::vector<std::string>& actions,
                        const std::vector<std::string>& triggers) {
    std::string text = "\\WINDOWRULENAME=" + name;
    for (const std::string& a : actions) text += "\\ACTION=" + a;
    for (const std::string& t : triggers) text += "\\TRIGGER=" + t;
    return text;
}

// The default rule with every action switched on: close, run mode, save and
// restore of size and position, stay on top, close question.
inline std::string DefaultRuleAllActions(const std::string& name, const std::string& runMode = "normal",
                                         const std::string& question = "Close it?") {
    return Rule(
        name,
        {Action("CLOSEWINDOWACTION", "CloseWindow"),
         Action("RUNMODEACTION", "RunMode", false, "\\RUNMODE=" + runMode),
         Action("SAVESIZEPOSACTION", "SaveSizePos"), Action("STAYONTOPACTION", "StayOnTop"),
         Action("CLOSEQUERYACTION", "CloseQuery", false, "\\CLOSE_QUERY_MESSAGE=" + question)},
        {OnCreate({Agent("CloseWindowAgent", "CloseWindow", "next"), Agent("RunModeAgent", "RunMode", "next"),
                   Agent("RestoreSizePosAgent", "SaveSizePos", "concrete", "RESTORESIZEPOS"),
                   Agent("StayOnTopAgent", "StayOnTop", "concrete", "STAYONTOPON")}),
         OnDestroy({Agent("SaveSizePosAgent", "SaveSizePos", "concrete", "SAVESIZEPOS")})});
}

}  // namespace omb::test::rule
