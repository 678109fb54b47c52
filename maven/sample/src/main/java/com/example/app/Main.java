package com.example.app;

import org.apache.commons.cli.CommandLine;
import org.apache.commons.cli.DefaultParser;
import org.apache.commons.cli.Options;
import org.apache.commons.cli.ParseException;

public final class Main {
    public static void main(String[] args) throws ParseException {
        final Options options = new Options().addOption("n", "name", true, "who to greet");
        final CommandLine line = new DefaultParser().parse(options, args);
        System.out.println("Hello, " + line.getOptionValue("n", "world") + "!");
    }
}
