package com.lumex.runtime.internal;

/**
 * The runtime's own input rules, called by the runtime test through the launcher class (from the
 * class path, in the runtime's package). Its arguments are pairs of a rule and an input; it prints
 * one line per pair: the rule's answer.
 * <ul>
 * <li>"windows" / "other": RunDirectory.localAbsolute of the path with that system's rules;
 * <li>"keep": RotatingOutput.keep of the text.
 * </ul>
 */
public final class RuntimeChecks {
    private RuntimeChecks() {}

    public static void main(String[] args) {
        for (int i = 0; i + 1 < args.length; i += 2) {
            final String rule = args[i], input = args[i + 1];
            if (rule.equals("keep")) {
                System.out.println(RotatingOutput.keep(input));
            } else {
                System.out.println(RunDirectory.localAbsolute(input, rule.equals("windows")));
            }
        }
    }
}
