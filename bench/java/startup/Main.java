package startup;

import java.io.ByteArrayInputStream;
import java.io.StringWriter;
import java.net.URI;
import java.net.http.HttpClient;
import java.net.http.HttpRequest;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.time.Instant;
import java.time.LocalDate;
import java.time.ZoneId;
import java.time.ZonedDateTime;
import java.time.format.DateTimeFormatter;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.ConcurrentHashMap;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.IntStream;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.transform.OutputKeys;
import javax.xml.transform.TransformerFactory;
import javax.xml.transform.dom.DOMSource;
import javax.xml.transform.stream.StreamResult;
import org.w3c.dom.Document;
import org.w3c.dom.Element;
import org.w3c.dom.NodeList;

/**
 * The start-up benchmark's application: does a little of what a service does when it starts
 * (reads an XML configuration, works on collections with streams, formats dates, matches
 * patterns, prepares an HTTP client without connecting), which loads a few thousand classes.
 * The last line it prints is "main end MICROSECONDS", the wall clock at the end of main in
 * microseconds since the epoch, which bench/start.sh compares with the start of the process.
 */
public final class Main {
    private static final String CONFIG =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    + "<service name=\"bench\">\n"
                    + "  <port>8080</port>\n"
                    + "  <endpoint url=\"http://localhost:8080/a\" timeout=\"PT2S\"/>\n"
                    + "  <endpoint url=\"http://localhost:8080/b\" timeout=\"PT5S\"/>\n"
                    + "  <schedule zone=\"Europe/Berlin\" at=\"2024-03-31T02:30\"/>\n"
                    + "</service>\n";

    private Main() {}

    public static void main(String[] args) throws Exception {
        long check = 0;

        // XML: parse, walk, write back.
        Document document = DocumentBuilderFactory.newInstance()
                .newDocumentBuilder()
                .parse(new ByteArrayInputStream(CONFIG.getBytes(StandardCharsets.UTF_8)));
        NodeList endpoints = document.getElementsByTagName("endpoint");
        List<URI> uris = new ArrayList<>();
        List<Duration> timeouts = new ArrayList<>();
        for (int i = 0; i < endpoints.getLength(); ++i) {
            Element endpoint = (Element) endpoints.item(i);
            uris.add(URI.create(endpoint.getAttribute("url")));
            timeouts.add(Duration.parse(endpoint.getAttribute("timeout")));
        }
        StringWriter written = new StringWriter();
        var transformer = TransformerFactory.newInstance().newTransformer();
        transformer.setOutputProperty(OutputKeys.INDENT, "yes");
        transformer.transform(new DOMSource(document), new StreamResult(written));
        check += written.toString().length();

        // Streams and collections.
        Map<Integer, List<String>> groups = IntStream.range(0, 2000)
                .mapToObj(i -> "item-" + i)
                .filter(s -> s.hashCode() % 3 != 0)
                .collect(Collectors.groupingBy(String::length, TreeMap::new, Collectors.toList()));
        Map<String, Long> counts = groups.values().stream()
                .flatMap(List::stream)
                .collect(Collectors.groupingBy(s -> s.substring(0, 6), LinkedHashMap::new,
                        Collectors.counting()));
        ConcurrentHashMap<String, Integer> shared = new ConcurrentHashMap<>();
        counts.forEach((key, value) -> shared.merge(key, value.intValue(), Integer::sum));
        ArrayDeque<String> queue = new ArrayDeque<>(counts.keySet());
        List<String> sorted = queue.stream()
                .sorted(Comparator.comparing(String::length).thenComparing(Comparator.reverseOrder()))
                .collect(Collectors.toList());
        check += sorted.size() + shared.size() + new HashMap<>(counts).size()
                + (long) IntStream.range(0, 1000).parallel().map(i -> i * i % 7).sum();

        // java.time: zones, formatting, parsing.
        Element schedule = (Element) document.getElementsByTagName("schedule").item(0);
        ZoneId zone = ZoneId.of(schedule.getAttribute("zone"));
        ZonedDateTime at = java.time.LocalDateTime.parse(schedule.getAttribute("at")).atZone(zone);
        String formatted = DateTimeFormatter.ofPattern("EEEE, d MMMM uuuu HH:mm z").format(at);
        check += formatted.length() + LocalDate.of(2024, 2, 29).plusYears(1).getDayOfMonth()
                + DateTimeFormatter.ISO_INSTANT.format(Instant.ofEpochSecond(1_700_000_000L)).length();

        // Regular expressions.
        Pattern pattern = Pattern.compile("(?<scheme>[a-z]+)://(?<host>[^:/]+)(?::(?<port>\\d+))?(?<path>/\\S*)?");
        for (URI uri : uris) {
            Matcher matcher = pattern.matcher(uri.toString());
            if (matcher.matches()) check += matcher.group("host").length() + matcher.group("path").length();
        }
        check += "a1b22c333".replaceAll("\\d+", "#").length()
                + Pattern.compile("\\s*,\\s*").splitAsStream("x , y,z ,  w").count();

        // An HTTP client and a request, never sent.
        HttpClient client = HttpClient.newBuilder()
                .connectTimeout(timeouts.get(0))
                .followRedirects(HttpClient.Redirect.NORMAL)
                .build();
        HttpRequest request = HttpRequest.newBuilder(uris.get(1))
                .timeout(timeouts.get(1))
                .header("Accept", "application/json")
                .POST(HttpRequest.BodyPublishers.ofString("{\"ping\":true}"))
                .build();
        check += request.method().length() + (client.connectTimeout().isPresent() ? 1 : 0);

        Instant end = Instant.now();
        System.out.println("check " + check);
        System.out.println("main end " + (end.getEpochSecond() * 1_000_000L + end.getNano() / 1_000));
    }
}
