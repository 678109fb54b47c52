package com.lumex.runtime;

import java.util.Arrays;
import java.util.Collections;
import java.util.List;

/**
 * The splash settings of the launcher's configuration, kept as passed: two flags, then four
 * groups of a text and two numbers. The runtime only keeps them; it shows no splash screen.
 */
public final class SplashConfig {
    /** One group of the settings: a text and two numbers. */
    public static final class Group {
        private final String text;
        private final int first;
        private final int second;

        public Group(String text, int first, int second) {
            this.text = text == null ? "" : text;
            this.first = first;
            this.second = second;
        }

        public String text() {
            return text;
        }

        public int first() {
            return first;
        }

        public int second() {
            return second;
        }

        @Override
        public boolean equals(Object other) {
            if (!(other instanceof Group)) return false;
            final Group group = (Group) other;
            return text.equals(group.text) && first == group.first && second == group.second;
        }

        @Override
        public int hashCode() {
            return (text.hashCode() * 31 + first) * 31 + second;
        }

        @Override
        public String toString() {
            return "[" + text + "] " + first + " " + second;
        }
    }

    private final boolean enabled;
    private final boolean flag;
    private final List<Group> groups;

    public SplashConfig(boolean enabled, boolean flag, Group... groups) {
        this.enabled = enabled;
        this.flag = flag;
        this.groups = Collections.unmodifiableList(Arrays.asList(groups.clone()));
    }

    /** The first value the launcher passed (it passes true). */
    public boolean enabled() {
        return enabled;
    }

    /** The second value: the configured splash flag. */
    public boolean flag() {
        return flag;
    }

    /** The groups in the order the launcher passed them (four from the launcher). */
    public List<Group> groups() {
        return groups;
    }

    @Override
    public boolean equals(Object other) {
        if (!(other instanceof SplashConfig)) return false;
        final SplashConfig config = (SplashConfig) other;
        return enabled == config.enabled && flag == config.flag && groups.equals(config.groups);
    }

    @Override
    public int hashCode() {
        return (Boolean.hashCode(enabled) * 31 + Boolean.hashCode(flag)) * 31 + groups.hashCode();
    }

    @Override
    public String toString() {
        final StringBuilder text = new StringBuilder().append(enabled).append(' ').append(flag);
        for (final Group group : groups) text.append(' ').append(group);
        return text.toString();
    }
}
