#!/usr/bin/python3
"""A web server for the engine's end-to-end tests: answers every GET with 200, or with 401
while a request carries no Authorization header (--auth), over TLS when a certificate is given.
Appends each request head to LOG and creates LOG.ready once it listens.

usage: web_server.py ADDRESS PORT LOG [--auth] [--cert CERT --key KEY]
"""
import argparse
import http.server
import socket
import ssl

parser = argparse.ArgumentParser()
parser.add_argument("address")
parser.add_argument("port", type=int)
parser.add_argument("log")
parser.add_argument("--auth", action="store_true")
parser.add_argument("--cert")
parser.add_argument("--key")
args = parser.parse_args()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        with open(args.log, "a", encoding="latin-1") as log:
            log.write(self.requestline + "\r\n")
            log.write("".join(f"{name}: {value}\r\n" for name, value in self.headers.items()))
            log.write("\r\n")
        if args.auth and self.headers.get("Authorization") is None:
            self.send_response(401)
            self.send_header("WWW-Authenticate", 'Basic realm="panel"')
        else:
            self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *_):
        pass


class Server(http.server.ThreadingHTTPServer):
    address_family = socket.AF_INET6 if ":" in args.address else socket.AF_INET


server = Server((args.address, args.port), Handler)
if args.cert:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
open(args.log + ".ready", "w").close()
server.serve_forever()
