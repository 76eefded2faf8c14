#!/usr/bin/python3
"""usage: web_server.py ADDRESS PORT LOG [--auth] [--cert NAME]: 200 to every GET (401 without
Authorization with --auth), over TLS with NAME.pem and NAME.key; request heads go to LOG."""
import http.server, socket, ssl, sys

address, port, log = sys.argv[1], int(sys.argv[2]), sys.argv[3]
options = sys.argv[4:]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        with open(log, "a", encoding="latin-1") as f:
            f.write(self.requestline + "\r\n" + "".join(f"{name}: {value}\r\n" for name, value
                                                       in self.headers.items()) + "\r\n")
        challenge = "--auth" in options and self.headers.get("Authorization") is None
        self.send_response(401 if challenge else 200)
        if challenge:
            self.send_header("WWW-Authenticate", 'Basic realm="panel"')
        self.send_header("Content-Length", "0")
        self.end_headers()


http.server.ThreadingHTTPServer.address_family = socket.AF_INET6 if ":" in address else socket.AF_INET
server = http.server.ThreadingHTTPServer((address, port), Handler)
if "--cert" in options:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    name = options[options.index("--cert") + 1]
    context.load_cert_chain(name + ".pem", name + ".key")
    server.socket = context.wrap_socket(server.socket, server_side=True)
open(log + ".ready", "w").close()
server.serve_forever()
