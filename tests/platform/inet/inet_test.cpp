// The transfer control stand-in against a scripted server on 127.0.0.1:
// bodies byte for byte, the states it signals, every kind of failure with
// its reason, the request time-out, redirects and their limit.

#include "platform/inet/inet.h"
#include "support/HttpTestServer.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/process.h"

#include <QElapsedTimer>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTest>

using testsupport::HttpResponse;
using testsupport::HttpTestServer;

namespace {

// What one request did: the states signalled, what StillExecuting said when
// the last one came, and the body as read in 1024-byte chunks.
struct Outcome {
    QList<short> states;
    bool executingAtEnd = true;
    QByteArray body;
    QList<qsizetype> chunkSizes;
    bool finished = true;
};

Outcome fetch(platform::Inet &inet, const QString &url, int timeoutMs = 20000)
{
    Outcome outcome;
    auto connection = QObject::connect(&inet, &platform::Inet::StateChanged, [&](short state) {
        outcome.states << state;
        if (state == platform::icResponseCompleted || state == platform::icError) {
            outcome.executingAtEnd = inet.StillExecuting();
            for (QByteArray chunk;;) {
                chunk = inet.GetChunk(1024, platform::icString);
                outcome.chunkSizes << chunk.size();
                if (chunk.isEmpty())
                    break;
                outcome.body += chunk;
            }
        }
    });
    // A request that never ends shows as no final state.
    if (inet.Execute(url))
        outcome.finished = QTest::qWaitFor([&] { return !inet.StillExecuting(); }, timeoutMs);
    QObject::disconnect(connection);
    return outcome;
}

QString url(const HttpTestServer &server, const char *target)
{
    return QString::fromStdString(server.url(target));
}

// The last state, and that it is the only final one.
short finalState(const Outcome &outcome)
{
    if (!outcome.finished)
        return -2;
    const auto finals = outcome.states.count(platform::icResponseCompleted) + outcome.states.count(platform::icError);
    return finals == 1 ? outcome.states.last() : short(-1);
}

} // namespace

class TestInet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testsupport::clearProxyEnvironment(); }

    void bodies_data();
    void bodies();
    void failures_data();
    void failures();
    void stallTimesOutButSlowSteadyBodyDoesNot();
    void headersPastTheBoundsFailAtOnce();
    void repliesThatAreNotHttpSayWhatIsWrong();
    void redirectsAreFollowedUpToTheLimit();
    void secondRequestForgetsTheFirst();
    void httpsChecksCertificates();
    void hostNotFoundOffline();
    void environmentProxyButNotForLoopback();
};

void TestInet::bodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("framing");
    QTest::addColumn<int>("pieceSize");

    QByteArray crlf, lf;
    for (int i = 0; i < 60; ++i) {
        crlf += "<p>line " + QByteArray::number(i) + " \xe9\x00\xff</p>\r\n";
        lf += "<p>line " + QByteArray::number(i) + "</p>\n";
    }
    const int length = int(HttpResponse::Framing::ContentLength);
    QTest::newRow("CR LF page") << crlf << length << 0;
    QTest::newRow("LF-only page") << lf << length << 0;
    QTest::newRow("empty body") << QByteArray() << length << 0;
    QTest::newRow("exactly 1024 bytes") << QByteArray(1024, 'x') << length << 0;
    QTest::newRow("in pieces") << crlf << length << 100;
    QTest::newRow("chunked") << crlf << int(HttpResponse::Framing::Chunked) << 333;
    QTest::newRow("until close") << lf << int(HttpResponse::Framing::CloseDelimited) << 0;
}

void TestInet::bodies()
{
    QFETCH(QByteArray, body);
    QFETCH(int, framing);
    QFETCH(int, pieceSize);
    HttpTestServer server;
    HttpResponse response = HttpResponse::html(body.toStdString());
    response.framing = HttpResponse::Framing(framing);
    response.pieceSize = std::size_t(pieceSize);
    response.pause = std::chrono::milliseconds(pieceSize > 0 ? 10 : 0);
    server.route("/page.html", response);

    platform::Inet inet;
    const Outcome outcome = fetch(inet, url(server, "/page.html"));
    QCOMPARE(finalState(outcome), short(platform::icResponseCompleted));
    QVERIFY(!outcome.executingAtEnd);
    QCOMPARE(outcome.body, body);
    QCOMPARE(outcome.chunkSizes.last(), 0);
    for (qsizetype i = 0; i + 2 < outcome.chunkSizes.size(); ++i)
        QCOMPARE(outcome.chunkSizes[i], 1024);
    QCOMPARE(inet.ResponseCode(), 0L);
    QCOMPARE(inet.ResponseInfo(), QString());
    QCOMPARE(inet.StatusCode(), 200);
    QCOMPARE(inet.URL(), url(server, "/page.html"));
    QCOMPARE(server.requests().at(0).method, std::string("GET"));
}

void TestInet::failures_data()
{
    QTest::addColumn<QString>("target"); // on the server, or a whole address
    QTest::addColumn<long>("code");
    QTest::addColumn<QString>("info");

    QTest::newRow("404") << "/missing" << 404L << "HTTP 404 Not Found";
    QTest::newRow("500") << "/broken" << 500L << "HTTP 500 Internal Server Error";
    QTest::newRow("reset in the body") << "/reset" << platform::ERROR_INTERNET_CONNECTION_RESET
                                       << "Connection closed by the server before the page was complete";
    QTest::newRow("close in the body") << "/cut" << platform::ERROR_INTERNET_CONNECTION_RESET
                                       << "Connection closed by the server before the page was complete";
    QTest::newRow("redirect loop") << "/loop-a" << platform::ERROR_HTTP_REDIRECT_FAILED << "Too many redirects";
    QTest::newRow("redirect to another scheme")
        << "/to-ftp" << platform::ERROR_INTERNET_UNRECOGNIZED_SCHEME << "Redirect to an unsupported scheme";
    QTest::newRow("refused port") << QStringLiteral("http://127.0.0.1:%1/").arg(HttpTestServer::refusedPort())
                                  << platform::ERROR_INTERNET_CANNOT_CONNECT << "Connection refused";
    QTest::newRow("unknown scheme") << "Gopher://127.0.0.1/" << platform::ERROR_INTERNET_UNRECOGNIZED_SCHEME
                                    << "Unsupported scheme \"gopher\"";
    QTest::newRow("local file") << "file:///etc/hostname" << platform::ERROR_INTERNET_UNRECOGNIZED_SCHEME
                                << "Unsupported scheme \"file\"";
    QTest::newRow("no scheme") << "127.0.0.1/page.html" << platform::ERROR_INTERNET_UNRECOGNIZED_SCHEME
                               << "No scheme (http:// or https://) in the address";
    QTest::newRow("empty address") << "" << platform::ERROR_INTERNET_UNRECOGNIZED_SCHEME
                                   << "No scheme (http:// or https://) in the address";
    QTest::newRow("no host") << "http:///page.html" << platform::ERROR_INTERNET_INVALID_URL << "Not a valid address";
    QTest::newRow("body that is not gzip") << "/not-gzip" << platform::ERROR_INTERNET_INTERNAL_ERROR
                                           << "Decompression failed: the body is not valid gzip data";
}

void TestInet::failures()
{
    QFETCH(QString, target);
    QFETCH(long, code);
    QFETCH(QString, info);
    HttpTestServer server;
    const std::string page(5000, 'p');
    server.route("/broken", HttpResponse::html("<p>oops</p>", 500, "Internal Server Error"));
    HttpResponse reset = HttpResponse::html(page);
    reset.ending = HttpResponse::Ending::Reset;
    reset.stopAfter = 2000;
    server.route("/reset", reset);
    HttpResponse cut = reset;
    cut.ending = HttpResponse::Ending::Close;
    server.route("/cut", cut);
    server.route("/loop-a", HttpResponse::redirect("/loop-b"));
    server.route("/loop-b", HttpResponse::redirect("/loop-a", 301, "Moved Permanently"));
    server.route("/to-ftp", HttpResponse::redirect("ftp://127.0.0.1/file"));
    HttpResponse notGzip = HttpResponse::html("<p>said to be compressed, but plain</p>");
    notGzip.headers.emplace_back("Content-Encoding", "gzip");
    server.route("/not-gzip", notGzip);

    platform::Inet inet;
    const QString address = target.startsWith('/') ? url(server, target.toLatin1().constData()) : target;
    const Outcome outcome = fetch(inet, address);
    QCOMPARE(finalState(outcome), short(platform::icError));
    QVERIFY(!outcome.executingAtEnd);
    QVERIFY(!inet.StillExecuting());
    QCOMPARE(outcome.body, QByteArray()); // nothing of a failed response is handed out
    QCOMPARE(inet.ResponseCode(), code);
    QCOMPARE(inet.ResponseInfo(), info);
    QCOMPARE(inet.URL(), address);
    if (target == "/loop-a") // the limit, then no more requests
        QCOMPARE(server.requests().size(), std::size_t(platform::Inet::MaxRedirects + 1));
}

void TestInet::stallTimesOutButSlowSteadyBodyDoesNot()
{
    HttpTestServer server;
    HttpResponse stall = HttpResponse::html(std::string(3000, 's'));
    stall.ending = HttpResponse::Ending::Stall;
    stall.stopAfter = 1000;
    server.route("/stall", stall);
    // Five pieces 400 ms apart: 1.6 s in all, never 1 s without data.
    HttpResponse slow = HttpResponse::html(std::string(5000, 'w'));
    slow.pieceSize = 1000;
    slow.pause = std::chrono::milliseconds(400);
    server.route("/slow", slow);

    platform::Inet inet;
    QCOMPARE(inet.RequestTimeout(), 60);
    inet.setRequestTimeout(1);
    QElapsedTimer clock;
    clock.start();
    Outcome outcome = fetch(inet, url(server, "/stall"));
    QCOMPARE(finalState(outcome), short(platform::icError));
    QVERIFY2(clock.elapsed() >= 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(inet.ResponseCode(), platform::ERROR_INTERNET_TIMEOUT);
    QCOMPARE(inet.ResponseInfo(), QStringLiteral("Timed out after 1 second"));

    clock.restart();
    outcome = fetch(inet, url(server, "/slow"));
    QCOMPARE(finalState(outcome), short(platform::icResponseCompleted));
    QVERIFY2(clock.elapsed() >= 1600, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(outcome.body.size(), 5000);
}

void TestInet::headersPastTheBoundsFailAtOnce()
{
    HttpTestServer server; // keeps every connection open after a response
    const auto withHeaders = [](std::vector<std::pair<std::string, std::string>> extra) {
        HttpResponse response = HttpResponse::html("<p>headed</p>");
        response.headers.insert(response.headers.end(), extra.begin(), extra.end());
        return response;
    };
    // With Content-Length added, the server sends `lines` header lines in all.
    const auto lines = [](int count) {
        std::vector<std::pair<std::string, std::string>> headers;
        for (int i = 0; i < count - 2; ++i)
            headers.emplace_back("X-Line-" + std::to_string(i), "v");
        return headers;
    };
    const std::size_t longest = platform::Inet::MaxHeaderLineBytes;
    server.route("/lines-at-bound", withHeaders(lines(platform::Inet::MaxHeaderLines)));
    server.route("/line-at-bound", withHeaders({{"X-Long", std::string(longest - 8, 'l')}}));
    server.route("/lines-past-bound", withHeaders(lines(platform::Inet::MaxHeaderLines + 1)));
    server.route("/line-past-bound", withHeaders({{"X-Long", std::string(longest - 7, 'l')}}));
    server.route("/megabyte", withHeaders({{"X-Long", std::string(1024 * 1024, 'l')}}));
    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 14; ++i)
        many.emplace_back("X-Part-" + std::to_string(i), std::string(20000, 'p'));
    server.route("/all-past-bound", withHeaders(many));

    platform::Inet inet;
    QCOMPARE(inet.RequestTimeout(), 60);
    for (const char *target : {"/lines-at-bound", "/line-at-bound"}) {
        const Outcome outcome = fetch(inet, url(server, target));
        QCOMPARE(finalState(outcome), short(platform::icResponseCompleted));
        QCOMPARE(outcome.body, QByteArray("<p>headed</p>"));
    }
    // A header that never ends: the bound is applied as it arrives.
    const auto endless = [](const std::string &line, std::size_t bytes) {
        HttpResponse response;
        response.raw = "HTTP/1.1 200 OK\r\n";
        while (response.raw->size() < bytes)
            *response.raw += line;
        response.ending = HttpResponse::Ending::Stall;
        return response;
    };
    server.route("/endless-lines", endless("X-Line: v\r\n", 8 * 1024 * 1024));
    server.route("/endless-line", endless(std::string(4096, 'l'), 8 * 1024 * 1024));
    server.route("/endless-bytes", endless("X-Part: " + std::string(60000, 'p') + "\r\n", 8 * 1024 * 1024));

    // Each fails long before the 60 s without data would end it, with the
    // bound it passed.
    const std::pair<const char *, const char *> pastBounds[] = {
        {"/lines-past-bound", "The server's response header has more than 100 lines"},
        {"/line-past-bound", "The server's response header has a line longer than 100 KiB"},
        {"/megabyte", "The server's response header has a line longer than 100 KiB"},
        {"/all-past-bound", "The server's response header passed 256 KiB"},
        {"/endless-lines", "The server's response header has more than 100 lines"},
        {"/endless-line", "The server's response header has a line longer than 100 KiB"},
        {"/endless-bytes", "The server's response header passed 256 KiB"},
    };
    for (const auto &[target, reason] : pastBounds) {
        QElapsedTimer clock;
        clock.start();
        const Outcome outcome = fetch(inet, url(server, target), 20000);
        QVERIFY2(outcome.finished, target);
        QVERIFY2(clock.elapsed() < 10000, target);
        QCOMPARE(finalState(outcome), short(platform::icError));
        QCOMPARE(inet.ResponseCode(), platform::ERROR_HTTP_INVALID_SERVER_RESPONSE);
        QCOMPARE(inet.ResponseInfo(), QString::fromLatin1(reason));
        QVERIFY(outcome.body.isEmpty());
    }
}

void TestInet::repliesThatAreNotHttpSayWhatIsWrong()
{
    HttpTestServer server;
    const auto raw = [](std::string bytes, HttpResponse::Ending ending = HttpResponse::Ending::Complete) {
        HttpResponse response;
        response.raw = std::move(bytes);
        response.ending = ending;
        return response;
    };
    server.route("/http09", raw("<html><body>an old server</body></html>\r\n"));
    server.route("/garbage", raw("garbage\r\n\r\n"));
    server.route("/garbage-open", raw("SSH-2.0-OpenSSH_9.2\r\n", HttpResponse::Ending::Stall));
    server.route("/bad-status", raw("HTTP/1.1 OK\r\nContent-Length: 2\r\n\r\nok"));
    server.route("/bad-status-code", raw("HTTP/1.1 2000 OK\r\nContent-Length: 2\r\n\r\nok"));
    server.route("/bad-chunk", raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n"));
    server.route("/chunks-cut", raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
                                    HttpResponse::Ending::Close));
    server.route("/nothing", raw(""));
    server.route("/status-only", raw("HTTP/1.0 200 OK\r\n\r\nold body"));
    server.route("/interim", raw("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody"));

    const QString notHttp = QStringLiteral("The server's reply is not HTTP: it does not start with a status line");
    const QString badStatus = QStringLiteral("The server's reply starts with a malformed status line");
    const QString closed = QStringLiteral("Connection closed by the server before the page was complete");
    const std::pair<const char *, QString> failures[] = {
        {"/http09", notHttp},
        {"/garbage", notHttp},
        {"/garbage-open", notHttp},
        {"/bad-status", badStatus},
        {"/bad-status-code", badStatus},
        {"/bad-chunk", QStringLiteral("The server's reply has a malformed chunk in its body")},
        {"/chunks-cut", closed},
        {"/nothing", closed},
    };
    platform::Inet inet;
    for (const auto &[target, reason] : failures) {
        QElapsedTimer clock;
        clock.start();
        const Outcome outcome = fetch(inet, url(server, target), 20000);
        QVERIFY2(clock.elapsed() < 10000, target);
        QCOMPARE(finalState(outcome), short(platform::icError));
        QCOMPARE(inet.ResponseInfo(), reason);
        QVERIFY(outcome.body.isEmpty());
    }
    for (const auto &[target, body] : {std::pair{"/status-only", "old body"}, std::pair{"/interim", "body"}}) {
        const Outcome outcome = fetch(inet, url(server, target));
        QCOMPARE(finalState(outcome), short(platform::icResponseCompleted));
        QCOMPARE(outcome.body, QByteArray(body));
    }
}

void TestInet::redirectsAreFollowedUpToTheLimit()
{
    HttpTestServer server;
    server.route("/page", HttpResponse::html("<p>arrived</p>"));
    // /hop0 -> /hop1 -> ... -> /hopN -> /page, with every redirect status.
    const int statuses[] = {301, 302, 303, 307, 308};
    const int hops = platform::Inet::MaxRedirects;
    for (int i = 0; i < hops; ++i) {
        const std::string next = i + 1 < hops ? "/hop" + std::to_string(i + 1) : "/page";
        server.route("/hop" + std::to_string(i), HttpResponse::redirect(next, statuses[i % 5], "Moved"));
    }
    server.route("/one-more", HttpResponse::redirect("/hop0"));

    platform::Inet inet;
    Outcome outcome = fetch(inet, url(server, "/hop0"));
    QCOMPARE(finalState(outcome), short(platform::icResponseCompleted));
    QCOMPARE(outcome.body, QByteArray("<p>arrived</p>"));
    QCOMPARE(server.requestCount("/page"), std::size_t(1));

    outcome = fetch(inet, url(server, "/one-more"));
    QCOMPARE(finalState(outcome), short(platform::icError));
    QCOMPARE(inet.ResponseInfo(), QStringLiteral("Too many redirects"));
    QCOMPARE(server.requestCount("/page"), std::size_t(1));
}

void TestInet::secondRequestForgetsTheFirst()
{
    HttpTestServer server;
    server.route("/first", HttpResponse::html(std::string(1500, 'a')));
    server.route("/second", HttpResponse::html("second"));
    HttpResponse slow = HttpResponse::html("slow page");
    slow.pieceSize = 3;
    slow.pause = std::chrono::milliseconds(50);
    server.route("/slow", slow);

    platform::Inet inet;
    // Busy: a second Execute is refused and the first goes on undisturbed.
    QVERIFY(inet.Execute(url(server, "/slow")));
    QVERIFY(inet.StillExecuting());
    QVERIFY(!inet.Execute(url(server, "/first")));
    QCOMPARE(inet.URL(), url(server, "/slow"));
    QTRY_VERIFY_WITH_TIMEOUT(!inet.StillExecuting(), 20000);
    QCOMPARE(inet.GetChunk(100), QByteArray("slow page"));
    QCOMPARE(server.requestCount("/first"), std::size_t(0));

    // A body not read to its end is gone when the next request starts; a
    // failure is forgotten by the next success.
    QVERIFY(inet.Execute(url(server, "/first")));
    QTRY_VERIFY_WITH_TIMEOUT(!inet.StillExecuting(), 20000);
    QCOMPARE(inet.GetChunk(1000).size(), 1000);
    Outcome outcome = fetch(inet, url(server, "/none"));
    QCOMPARE(inet.ResponseInfo(), QStringLiteral("HTTP 404 Not Found"));
    outcome = fetch(inet, url(server, "/second"));
    QCOMPARE(outcome.body, QByteArray("second"));
    QCOMPARE(inet.ResponseCode(), 0L);
    QCOMPARE(inet.ResponseInfo(), QString());

    // Cancel ends a running request without a final state; the next request
    // gets only its own.
    QVERIFY(inet.Execute(url(server, "/slow")));
    inet.Cancel();
    QVERIFY(!inet.StillExecuting());
    QCOMPARE(inet.ResponseInfo(), QStringLiteral("Cancelled"));
    outcome = fetch(inet, url(server, "/second"));
    QCOMPARE(finalState(outcome), short(platform::icResponseCompleted));
    QCOMPARE(outcome.body, QByteArray("second"));
}

void TestInet::httpsChecksCertificates()
{
    QVERIFY2(QSslSocket::supportsSsl(), "no TLS backend: https cannot work");
    testsupport::TempDir dir;
    const auto made =
        testsupport::runProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                                 "-addext", "subjectAltName=IP:127.0.0.1", "-days", "2", "-keyout",
                                 (dir / "key.pem").string(), "-out", (dir / "cert.pem").string()});
    QVERIFY2(made.status == 0, made.err.c_str());
    const QSslCertificate certificate(QByteArray::fromStdString(testsupport::readFile(dir / "cert.pem")));
    QSslConfiguration serverSide = QSslConfiguration::defaultConfiguration();
    serverSide.setLocalCertificate(certificate);
    serverSide.setPrivateKey(QSslKey(QByteArray::fromStdString(testsupport::readFile(dir / "key.pem")), QSsl::Rsa));

    // A secure server on 127.0.0.1 that serves "/" and redirects "/plain"
    // to the plain server.
    HttpTestServer plain;
    plain.route("/", HttpResponse::html("plain"));
    QSslServer secure;
    secure.setSslConfiguration(serverSide);
    QVERIFY(secure.listen(QHostAddress::LocalHost));
    connect(&secure, &QTcpServer::pendingConnectionAvailable, this, [&] {
        while (QTcpSocket *socket = secure.nextPendingConnection()) {
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QIODevice::readyRead, socket, [socket, request, &plain] {
                *request += socket->readAll();
                if (!request->contains("\r\n\r\n"))
                    return;
                if (request->startsWith("GET /plain "))
                    socket->write("HTTP/1.1 302 Found\r\nContent-Length: 0\r\nLocation: " +
                                  QByteArray::fromStdString(plain.url("/")) + "\r\n\r\n");
                else
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecure");
                request->clear();
            });
        }
    });
    const QString address = QStringLiteral("https://127.0.0.1:%1").arg(secure.serverPort());

    // Trusted, it is fetched; a redirect from it to plain http is refused.
    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = before;
    trusting.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(trusting);
    platform::Inet inet;
    Outcome outcome = fetch(inet, address + "/");
    const QString secureInfo = inet.ResponseInfo();
    const Outcome redirected = fetch(inet, address + "/plain");
    const QString redirectInfo = inet.ResponseInfo();
    QSslConfiguration::setDefaultConfiguration(before);
    QCOMPARE(secureInfo, QString());
    QCOMPARE(finalState(outcome), short(platform::icResponseCompleted));
    QCOMPARE(outcome.body, QByteArray("secure"));
    QCOMPARE(finalState(redirected), short(platform::icError));
    QCOMPARE(redirectInfo, QStringLiteral("Redirect to a less secure address refused"));

    // Untrusted, it fails with the reason.
    platform::Inet untrusting;
    outcome = fetch(untrusting, address + "/");
    QCOMPARE(finalState(outcome), short(platform::icError));
    QCOMPARE(untrusting.ResponseCode(), platform::ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
    QVERIFY2(untrusting.ResponseInfo().startsWith("Secure connection failed: "), qPrintable(untrusting.ResponseInfo()));
    QCOMPARE(plain.requests().size(), std::size_t(0));
}

// Name resolution fails for certain only where there is no network at all:
// the test runs itself again in a fresh network namespace for this case.
void TestInet::hostNotFoundOffline()
{
    if (qEnvironmentVariableIsSet("QUILLAN_TEST_IN_NETNS")) {
        platform::Inet inet;
        const Outcome outcome = fetch(inet, "http://fennick.invalid/page.html");
        QCOMPARE(finalState(outcome), short(platform::icError));
        QCOMPARE(inet.ResponseCode(), platform::ERROR_INTERNET_NAME_NOT_RESOLVED);
        QCOMPARE(inet.ResponseInfo(), QStringLiteral("Host fennick.invalid not found"));
        return;
    }
    if (!testsupport::netns::available())
        QSKIP("needs root and network namespaces");
    const auto run =
        testsupport::runProgram({"unshare", "-n", "env", "QUILLAN_TEST_IN_NETNS=1",
                                 QCoreApplication::applicationFilePath().toStdString(), "hostNotFoundOffline"});
    QVERIFY2(run.status == 0, (run.out + run.err).c_str());
}

void TestInet::environmentProxyButNotForLoopback()
{
    HttpTestServer proxy, direct;
    proxy.route("http://fennick.example/page", HttpResponse::html("via proxy"));
    direct.route("/page", HttpResponse::html("direct"));
    qputenv("http_proxy", proxy.url("").c_str());
    platform::Inet inet;
    const Outcome proxied = fetch(inet, "http://fennick.example/page");
    const Outcome loopback = fetch(inet, url(direct, "/page"));
    testsupport::clearProxyEnvironment();
    QCOMPARE(proxied.body, QByteArray("via proxy"));
    QCOMPARE(loopback.body, QByteArray("direct"));
    QCOMPARE(proxy.requests().size(), std::size_t(1));
}

QTEST_GUILESS_MAIN(TestInet)
#include "inet_test.moc"
